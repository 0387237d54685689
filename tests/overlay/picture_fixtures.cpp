#include "tests/overlay/picture_fixtures.h"

#include <algorithm>
#include <vector>

#include "tests/support/crc32.h"

namespace qktest {

std::string base64(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 3; ++k) v = v << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k) out.push_back(k <= n ? kAlphabet[(v >> (18 - 6 * k)) & 63] : '=');
    }
    return out;
}

std::string pictureFile(std::string_view format, int width, int height, std::uint32_t rgba) {
    std::string pixels(static_cast<std::size_t>(width) * height * 4, '\0');
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
        pixels[i] = static_cast<char>(rgba >> 24);
        pixels[i + 1] = static_cast<char>(rgba >> 16);
        pixels[i + 2] = static_cast<char>(rgba >> 8);
        pixels[i + 3] = static_cast<char>(rgba);
    }
    return pictureFileFromPixels(format, width, height, std::move(pixels));
}

std::string pictureDataText(std::string_view format, int width, int height, std::uint32_t rgba) {
    return "data:image/" + std::string(format) + ";base64," + base64(pictureFile(format, width, height, rgba));
}

std::string gifFile(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    // 1 x 1, a two-colour global palette, one image of colour index 0.
    const unsigned char bytes[] = {'G',  'I', 'F',  '8',  '9', 'a', 1, 0, 1, 0,
                                   0x80, 0,   0,                                 // screen, global palette of 2
                                   r,    g,   b,    0,    0,   0,                // palette
                                   0x2C, 0,   0,    0,    0,   1,   0, 1, 0, 0,  // image descriptor
                                   2,    2,   0x44, 0x01, 0,                     // LZW: clear, 0, end
                                   0x3B};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

namespace {
void putBigEndian(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(v >> shift));
}
}  // namespace

std::string pngHeaderOnly(std::uint32_t width, std::uint32_t height) {
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string chunk = "IHDR";
    putBigEndian(chunk, width);
    putBigEndian(chunk, height);
    chunk += std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no filter, no interlace
    putBigEndian(png, 13);
    png += chunk;
    putBigEndian(png, crc32(chunk));
    // The decoder learns the size once the pixel data begins: the start of an
    // IDAT chunk, cut off after the compression header.
    putBigEndian(png, 100);
    png += "IDAT\x78\x9c";
    return png;
}

std::string webpHeaderOnly(std::uint32_t width, std::uint32_t height) {
    const auto le24 = [](std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16)}; };
    std::string chunk =
        std::string("VP8X") + std::string("\x0a\0\0\0", 4) + std::string(4, '\0') + le24(width - 1) + le24(height - 1);
    const std::uint32_t riffSize = 4 + static_cast<std::uint32_t>(chunk.size());
    return "RIFF" + le24(riffSize) + '\0' + "WEBP" + chunk;
}

}  // namespace qktest
