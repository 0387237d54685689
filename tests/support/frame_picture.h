// A captured video frame read back from its PNG file, for the checks that look
// at pixels: the same checks on every platform, one reader per platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qktest {

struct Rgb {
    int r, g, b;
};

class FramePicture {
public:
    // An empty picture (ok() false) when the file cannot be read as PNG.
    explicit FramePicture(const std::string& path);

    bool ok() const { return width_ > 0; }
    int width() const { return width_; }
    int height() const { return height_; }
    Rgb at(int x, int y) const {
        const std::uint8_t* p = bgra_.data() + (static_cast<std::size_t>(y) * width_ + x) * 4;
        return {p[2], p[1], p[0]};
    }
    // How many pixels in the box [x0, x1) x [y0, y1) are within the tolerance of the colour.
    int count(int x0, int y0, int x1, int y1, Rgb c, int tolerance = 12) const;

private:
    std::vector<std::uint8_t> bgra_;  // rows top first, stride width * 4
    int width_ = 0, height_ = 0;
};

}  // namespace qktest
