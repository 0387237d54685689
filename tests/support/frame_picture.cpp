#include "tests/support/frame_picture.h"

#include <cstdlib>

namespace qktest {

int FramePicture::count(int x0, int y0, int x1, int y1, Rgb c, int tolerance) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const Rgb p = at(x, y);
            n += std::abs(p.r - c.r) <= tolerance && std::abs(p.g - c.g) <= tolerance &&
                 std::abs(p.b - c.b) <= tolerance;
        }
    return n;
}

}  // namespace qktest
