// Image decoder backend: GdkPixbuf's incremental loader.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/image_decoder.h"

namespace qk::platform {
namespace {

// The picture formats the page may send. The installed loaders know more (SVG,
// which may pull in other files, icons, TGA, ...); those are refused.
enum class Format { Other, Gif, RowByRow };

Format formatOf(GdkPixbufFormat* format) {
    if (format == nullptr) return Format::Other;
    gchar* name = gdk_pixbuf_format_get_name(format);
    const std::string_view n = name != nullptr ? name : "";
    const Format f = n == "gif"                                                 ? Format::Gif
                     : (n == "png" || n == "jpeg" || n == "bmp" || n == "webp") ? Format::RowByRow
                                                                                : Format::Other;
    g_free(name);
    return f;
}

struct HeaderCheck {
    std::int64_t maxPixels = 0;
    Format format = Format::Other;
    bool refused = false;
    bool tooLarge = false;
    // The rows the format loader has filled in so far.
    int top = std::numeric_limits<int>::max();
    int bottom = 0;
};

// Runs once the format loader has read the header and, for every loader but
// WebP's, before it allocates the pixels. Asking for a size of 0 x 0 makes the
// format loader stop right there.
void onSizePrepared(GdkPixbufLoader* loader, gint width, gint height, gpointer data) {
    auto* check = static_cast<HeaderCheck*>(data);
    check->format = formatOf(gdk_pixbuf_loader_get_format(loader));
    if (check->format == Format::Other || width <= 0 || height <= 0)
        check->refused = true;
    else if (static_cast<std::int64_t>(width) * height > check->maxPixels)
        check->tooLarge = true;
    if (check->refused || check->tooLarge) gdk_pixbuf_loader_set_size(loader, 0, 0);
}

// A truncated PNG or BMP file still "loads", leaving the rest of the picture
// undefined; only a picture whose every row was filled in counts (the JPEG and
// WebP loaders finish a cut file with a plain filler of their own). Rows
// come top-down (PNG, JPEG, WebP) or bottom-up (BMP), so a span that reaches
// both edges is a whole picture. A GIF's first frame may cover only part of its
// canvas, which the loader fills itself, so it is taken as it comes.
void onAreaUpdated(GdkPixbufLoader*, gint, gint y, gint, gint height, gpointer data) {
    auto* check = static_cast<HeaderCheck*>(data);
    check->top = std::min(check->top, y);
    check->bottom = std::max(check->bottom, y + height);
}

// The WebP loader decodes before it asks for the size, so a WebP file's size is
// read here from its first chunk: lossy ("VP8 "), lossless ("VP8L") or
// extended ("VP8X"). Nothing when the bytes are no WebP file or too short.
std::optional<std::pair<std::int64_t, std::int64_t>> webpSize(std::span<const std::uint8_t> b) {
    const auto is = [&](std::size_t at, std::string_view tag) {
        return b.size() >= at + tag.size() && std::equal(tag.begin(), tag.end(), b.begin() + at);
    };
    const auto le = [&](std::size_t at, int bytes) {
        std::int64_t v = 0;
        for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + i];
        return v;
    };
    if (!is(0, "RIFF") || !is(8, "WEBP") || b.size() < 30) return std::nullopt;
    if (is(12, "VP8 ")) return std::pair(le(26, 2) & 0x3FFF, le(28, 2) & 0x3FFF);
    if (is(12, "VP8L")) {
        const std::int64_t bits = le(21, 4);
        return std::pair((bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1);
    }
    if (is(12, "VP8X")) return std::pair(le(24, 3) + 1, le(27, 3) + 1);
    return std::nullopt;
}

// The BMP loader sizes its buffer from the header's own fields (the info
// header's length, the offset of the pixels) before it asks for the picture's
// size, so a few bytes could make it take gigabytes. A file whose header or
// pixels would start past its end is cut short whatever it holds: true for one.
bool bmpHeaderPointsPastEnd(std::span<const std::uint8_t> b) {
    if (b.size() < 2 || b[0] != 'B' || b[1] != 'M') return false;
    if (b.size() < 18) return true;
    const auto le32 = [&](std::size_t at) {
        return static_cast<std::uint64_t>(b[at]) | static_cast<std::uint64_t>(b[at + 1]) << 8 |
               static_cast<std::uint64_t>(b[at + 2]) << 16 | static_cast<std::uint64_t>(b[at + 3]) << 24;
    };
    const std::uint64_t pixelsAt = le32(10), infoBytes = le32(14);
    return 14 + infoBytes > b.size() || pixelsAt > b.size();
}

// RGB or straight-alpha RGBA rows to premultiplied BGRA, rounded to nearest.
BgraImage toPremultipliedBgra(const GdkPixbuf* pixbuf) {
    BgraImage image;
    const int width = gdk_pixbuf_get_width(pixbuf);
    const int height = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
    if (gdk_pixbuf_get_colorspace(pixbuf) != GDK_COLORSPACE_RGB || gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 ||
        channels != (alpha ? 4 : 3) || width <= 0 || height <= 0)
        return image;
    const std::size_t stride = static_cast<std::size_t>(gdk_pixbuf_get_rowstride(pixbuf));
    const guint8* rows = gdk_pixbuf_read_pixels(pixbuf);
    image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    std::uint8_t* out = image.pixels.data();
    for (int y = 0; y < height; ++y) {
        const guint8* in = rows + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < width; ++x, in += channels, out += 4) {
            const unsigned a = alpha ? in[3] : 255u;
            out[0] = static_cast<std::uint8_t>((in[2] * a + 127) / 255);
            out[1] = static_cast<std::uint8_t>((in[1] * a + 127) / 255);
            out[2] = static_cast<std::uint8_t>((in[0] * a + 127) / 255);
            out[3] = static_cast<std::uint8_t>(a);
        }
    }
    image.width = width;
    image.height = height;
    return image;
}

class GdkPixbufDecoder final : public ImageDecoder {
public:
    DecodeResult decodeFirstFrame(std::span<const std::uint8_t> bytes, std::int64_t maxPixels) override {
        DecodeResult result;
        if (bytes.empty()) return result;
        if (const auto size = webpSize(bytes); size && size->first * size->second > maxPixels) {
            result.status = DecodeStatus::TooLarge;
            return result;
        }
        if (bmpHeaderPointsPastEnd(bytes)) return result;
        GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
        HeaderCheck check{maxPixels};
        g_signal_connect(loader, "size-prepared", G_CALLBACK(onSizePrepared), &check);
        g_signal_connect(loader, "area-updated", G_CALLBACK(onAreaUpdated), &check);
        // A failed write closes the loader itself; only a successful one needs the close.
        const bool complete = gdk_pixbuf_loader_write(loader, bytes.data(), bytes.size(), nullptr) &&
                              gdk_pixbuf_loader_close(loader, nullptr);
        if (check.tooLarge) {
            result.status = DecodeStatus::TooLarge;
        } else if (complete && !check.refused && check.format != Format::Other) {  // the header was seen and accepted
            // For an animation this is its first frame.
            const GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
            const bool whole = check.format == Format::Gif ||
                               (check.top == 0 && pixbuf != nullptr && check.bottom >= gdk_pixbuf_get_height(pixbuf));
            if (pixbuf != nullptr && whole) {
                const std::int64_t pixels =
                    static_cast<std::int64_t>(gdk_pixbuf_get_width(pixbuf)) * gdk_pixbuf_get_height(pixbuf);
                if (pixels > maxPixels) {
                    result.status = DecodeStatus::TooLarge;
                } else if (BgraImage image = toPremultipliedBgra(pixbuf); image.valid()) {
                    result.image = std::move(image);
                    result.status = DecodeStatus::Decoded;
                }
            }
        }
        g_object_unref(loader);
        return result;
    }
};

}  // namespace

std::unique_ptr<ImageDecoder> ImageDecoder::create() {
    GSList* formats = gdk_pixbuf_get_formats();
    if (formats == nullptr) return nullptr;
    g_slist_free(formats);
    return std::make_unique<GdkPixbufDecoder>();
}

}  // namespace qk::platform
