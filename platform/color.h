// A colour as both drawing seams take it: red, green, blue and alpha, 0 to 1.
#pragma once

namespace qk::platform {

struct Rgba {
    float r = 0, g = 0, b = 0, a = 1;
    bool operator==(const Rgba&) const = default;
};

}  // namespace qk::platform
