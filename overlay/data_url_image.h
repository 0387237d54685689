// Pictures carried as text: whatever precedes "base64," (the head of a data URL)
// is ignored, the rest is a picture file in standard base64.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/image_decoder.h"

namespace qk::overlay {

using BgraImage = platform::BgraImage;

// The most pixels a decoded picture may have (8192 x 8192).
inline constexpr std::int64_t kMaxPicturePixels = 67108864;

// Standard base64 with optional "=" padding; blanks, tabs and line breaks are
// skipped. Nothing for any other character or a dangling sixth of a byte.
std::optional<std::string> decodeBase64(std::string_view text);

// The picture after the first "base64," of `text`, decoded to premultiplied
// BGRA; nothing without a decoder, without a payload, or when decoding fails.
std::optional<BgraImage> decodeDataUrlImage(platform::ImageDecoder* decoder, std::string_view text);

}  // namespace qk::overlay
