#include "overlay/data_url_image.h"

#include <algorithm>
#include <array>
#include <span>

namespace qk::overlay {
namespace {

constexpr std::array<std::int8_t, 256> makeDecodeTable() {
    std::array<std::int8_t, 256> t{};
    t.fill(-1);
    constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < alphabet.size(); ++i)
        t[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
    return t;
}
constexpr auto kDecodeTable = makeDecodeTable();

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::optional<std::string> decodeBase64(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    std::uint32_t bits = 0;
    int pending = 0;  // six-bit groups collected for the current quantum
    int padding = 0;
    for (const char c : text) {
        if (isBlank(c)) continue;
        if (c == '=') {
            if (++padding > 2) return std::nullopt;
            continue;
        }
        const int v = kDecodeTable[static_cast<unsigned char>(c)];
        if (v < 0 || padding > 0) return std::nullopt;  // nothing but padding after padding
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        if (++pending == 4) {
            out.push_back(static_cast<char>(bits >> 16));
            out.push_back(static_cast<char>(bits >> 8));
            out.push_back(static_cast<char>(bits));
            bits = 0;
            pending = 0;
        }
    }
    switch (pending) {
        case 0: break;
        case 2: out.push_back(static_cast<char>(bits >> 4)); break;
        case 3:
            out.push_back(static_cast<char>(bits >> 10));
            out.push_back(static_cast<char>(bits >> 2));
            break;
        default: return std::nullopt;
    }
    if (padding > 0 && (pending + padding) % 4 != 0) return std::nullopt;
    return out;
}

std::optional<BgraImage> decodeDataUrlImage(platform::ImageDecoder* decoder, std::string_view text,
                                            std::int64_t maxPixels, bool* tooLarge) {
    if (decoder == nullptr || text.size() <= 6) return std::nullopt;
    constexpr std::string_view kMarker = "base64,";
    const auto at = text.find(kMarker);
    if (at == std::string_view::npos) return std::nullopt;
    const auto bytes = decodeBase64(text.substr(at + kMarker.size()));
    if (!bytes || bytes->empty()) return std::nullopt;
    auto result =
        decoder->decodeFirstFrame(std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()),
                                  std::min(maxPixels, kMaxPicturePixels));
    if (tooLarge != nullptr) *tooLarge = result.status == platform::DecodeStatus::TooLarge;
    if (result.status != platform::DecodeStatus::Decoded || !result.image.valid()) return std::nullopt;
    return std::move(result.image);
}

std::vector<BgraImage> decodePictureList(platform::ImageDecoder& decoder, const std::vector<std::string>& texts,
                                         std::int64_t maxTotalPixels, const LogFile& log, const char* listName) {
    std::vector<BgraImage> images;
    std::int64_t left = maxTotalPixels;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        // The decoder reads the size from the header first, so a picture past
        // what is left costs no memory.
        bool tooLarge = false;
        auto image = left > 0 ? decodeDataUrlImage(&decoder, texts[i], left, &tooLarge) : std::nullopt;
        if (image) {
            left -= std::int64_t{image->width} * image->height;
            images.push_back(std::move(*image));
        } else if (left <= 0 || (tooLarge && left < kMaxPicturePixels)) {
            log.logLine("%s: picture %zu skipped - the list's pictures would pass %lld pixels", listName, i + 1,
                        static_cast<long long>(maxTotalPixels));
        }
    }
    return images;
}

}  // namespace qk::overlay
