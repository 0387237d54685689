// Pictures carried as text: whatever precedes "base64," (the head of a data URL)
// is ignored, the rest is a picture file in standard base64.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/log.h"
#include "platform/image_decoder.h"

namespace qk::overlay {

using BgraImage = platform::BgraImage;

// The most pixels a decoded picture may have (8192 x 8192).
inline constexpr std::int64_t kMaxPicturePixels = 67108864;

// Standard base64 with optional "=" padding; blanks, tabs and line breaks are
// skipped. Nothing for any other character or a dangling sixth of a byte.
std::optional<std::string> decodeBase64(std::string_view text);

// The most pixels the pictures of one list (slides, dance graphics) may have
// together once decoded: a list file of a few megabytes can hold pictures of
// gigabytes, and all of a list stays in memory.
inline constexpr std::int64_t kMaxListPixels = 67108864;

// The picture after the first "base64," of `text`, decoded to premultiplied
// BGRA; nothing without a decoder, without a payload, when decoding fails, or
// when it has more than `maxPixels` pixels (*tooLarge is then set, when given).
std::optional<BgraImage> decodeDataUrlImage(platform::ImageDecoder* decoder, std::string_view text,
                                            std::int64_t maxPixels = kMaxPicturePixels, bool* tooLarge = nullptr);

// Every picture of a list that decodes, in order, while their pixels together
// stay within `maxTotalPixels`; a picture that would pass that is logged as
// skipped under the list's name, and the pictures after it still get their turn.
std::vector<BgraImage> decodePictureList(platform::ImageDecoder& decoder, const std::vector<std::string>& texts,
                                         std::int64_t maxTotalPixels, const LogFile& log, const char* listName);

}  // namespace qk::overlay
