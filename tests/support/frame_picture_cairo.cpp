// PNG frames read with cairo, whose 32-bit pixels are BGRA in memory on this
// little-endian machine.
#include <cairo.h>

#include <cstring>

#include "tests/support/frame_picture.h"

namespace qktest {

FramePicture::FramePicture(const std::string& path) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
        const int stride = cairo_image_surface_get_stride(s);
        const unsigned char* data = cairo_image_surface_get_data(s);
        bgra_.resize(static_cast<std::size_t>(w) * h * 4);
        for (int y = 0; y < h; ++y)
            std::memcpy(bgra_.data() + static_cast<std::size_t>(y) * w * 4, data + static_cast<std::size_t>(y) * stride,
                        static_cast<std::size_t>(w) * 4);
        width_ = w;
        height_ = h;
    }
    cairo_surface_destroy(s);
}

}  // namespace qktest
