// Picture files written by GdkPixbuf's savers.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <stdexcept>

#include "tests/overlay/picture_fixtures.h"

namespace qktest {

std::string pictureFileFromPixels(std::string_view format, int width, int height, std::string pixels) {
    if (pixels.size() != static_cast<std::size_t>(width) * height * 4) throw std::invalid_argument("pixel count");
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_data(reinterpret_cast<const guchar*>(pixels.data()), GDK_COLORSPACE_RGB,
                                                 TRUE, 8, width, height, width * 4, nullptr, nullptr);
    gchar* buffer = nullptr;
    gsize size = 0;
    GError* error = nullptr;
    const std::string type(format);
    gboolean saved = FALSE;
    if (type == "jpeg" || type == "webp")
        saved = gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, type.c_str(), &error, "quality", "100", nullptr);
    else
        saved = gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, type.c_str(), &error, nullptr);
    g_object_unref(pixbuf);
    if (!saved) {
        const std::string message = error ? error->message : "unknown";
        g_clear_error(&error);
        throw std::runtime_error("saving a " + type + " picture failed: " + message);
    }
    std::string file(buffer, size);
    g_free(buffer);
    return file;
}

}  // namespace qktest
