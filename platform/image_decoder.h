// Image decoder seam: the bytes of a picture file to premultiplied BGRA pixels.
// One backend per platform (gdkpixbuf/ here).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace qk::platform {

// A decoded picture: premultiplied BGRA, 4 bytes a pixel, blue first, rows from
// top to bottom with a stride of width * 4. Anything else counts as no picture.
struct BgraImage {
    std::vector<std::uint8_t> pixels;
    std::int32_t width = 0;
    std::int32_t height = 0;

    bool valid() const {
        return width > 0 && height > 0 &&
               pixels.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    }
};

enum class DecodeStatus {
    Decoded,
    TooLarge,    // the header announced more pixels than allowed; no pixel was decoded
    Unreadable,  // not a picture of a known format, corrupt, or truncated
};

struct DecodeResult {
    DecodeStatus status = DecodeStatus::Unreadable;
    BgraImage image;  // valid only when Decoded
};

class ImageDecoder {
public:
    // The platform's decoder, or nothing when its imaging library cannot be used.
    static std::unique_ptr<ImageDecoder> create();

    virtual ~ImageDecoder() = default;

    // Decodes the first frame of a PNG, JPEG, GIF, WebP or BMP file held in memory.
    // The size is read from the header before any pixel is decoded, so a picture
    // of more than `maxPixels` pixels is refused without costing its memory.
    virtual DecodeResult decodeFirstFrame(std::span<const std::uint8_t> bytes, std::int64_t maxPixels) = 0;
};

}  // namespace qk::platform
