// Pictures carried as text through the real decoder. Byte 0 picks how the rest
// is read: as the data text itself, or as a picture file that is sent as
// "data:image/png;base64," and its base64 (so the decoder sees mutated files).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "overlay/data_url_image.h"
#include "tests/overlay/picture_fixtures.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto* decoder = qk::platform::ImageDecoder::create().release();
    if (size < 1 || decoder == nullptr) return -1;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string text;
    if (data[0] & 1) {
        text = "data:image/png;base64," + qktest::base64(rest);
        // The tests' encoder and the decoder agree on every file.
        const auto back = qk::overlay::decodeBase64(text.substr(22));
        if (!back || *back != rest) std::abort();
    } else {
        text = rest;
        (void)qk::overlay::decodeBase64(rest);
    }
    const auto image = qk::overlay::decodeDataUrlImage(decoder, text);
    if (image && (!image->valid() || static_cast<std::int64_t>(image->width) * image->height >
                                         qk::overlay::kMaxPicturePixels))
        std::abort();
    return 0;
}
