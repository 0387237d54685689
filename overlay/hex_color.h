// Colours as the page writes them: "#rrggbb".
#pragma once

#include <string_view>

namespace qk::overlay {

// Red, green, blue and alpha, 0 to 1.
struct Color {
    float r = 0, g = 0, b = 0, a = 1;
    bool operator==(const Color&) const = default;
};

inline constexpr Color kBlack{0, 0, 0, 1};
inline constexpr Color kWhite{1, 1, 1, 1};

// "#" and six hexadecimal digits (either case) give that colour with alpha 1;
// any other text, three- and eight-digit forms included, gives the fallback.
Color parseHexColor(std::string_view text, Color fallback);

}  // namespace qk::overlay
