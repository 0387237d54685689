// Pictures made in the test: real files written by the platform's savers
// (GdkPixbuf here, WIC on Windows), as the data texts the page would send.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qktest {

// Standard base64 with padding.
std::string base64(std::string_view bytes);

// A width x height picture of one straight-alpha RGBA colour, saved as "png",
// "jpeg", "webp" or "bmp".
std::string pictureFile(std::string_view format, int width, int height, std::uint32_t rgba);
// The same from width * height * 4 bytes of straight-alpha RGBA.
std::string pictureFileFromPixels(std::string_view format, int width, int height, std::string rgbaPixels);

// "data:image/<format>;base64," + the picture file in base64.
std::string pictureDataText(std::string_view format, int width, int height, std::uint32_t rgba);

// A one-frame GIF of a single colour, written by hand: GdkPixbuf saves no GIF.
std::string gifFile(std::uint8_t r, std::uint8_t g, std::uint8_t b);

// The first bytes of a PNG file announcing width x height: a valid header and
// the first bytes of the pixel data, nothing more.
std::string pngHeaderOnly(std::uint32_t width, std::uint32_t height);

// The first chunk of an extended WebP file announcing width x height, nothing more.
std::string webpHeaderOnly(std::uint32_t width, std::uint32_t height);

}  // namespace qktest
