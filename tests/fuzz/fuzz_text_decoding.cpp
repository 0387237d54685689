// File bytes decoded as the page counts text, and the UTF-8 / UTF-16 conversions.
// Checked: the chunked view and the whole agree, the UTF-16 forms agree, and
// valid UTF-8 survives the trip through UTF-16 unchanged.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <string>
#include <string_view>

#include "bridge/text_decode.h"
#include "kit/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string wide = qk::bridge::decodeTextBytes(bytes);
    const qk::bridge::DecodedText text = qk::bridge::DecodedText::decode(bytes);
    if (text.unitCount() != wide.size() || text.toUtf16() != wide) std::abort();

    const bool valid = qk::isValidUtf8(bytes);
    if (valid != (text.encoding() == qk::bridge::DecodedText::Encoding::Utf8)) std::abort();
    if (valid && (qk::utf8ToWide(bytes) != wide || qk::wideToUtf8(wide) != bytes)) std::abort();
    if (text.toUtf8() != qk::wideToUtf8(wide)) std::abort();

    // Chunks as the page asks for them, never splitting a pair: together the whole text.
    const std::size_t step = size == 0 ? 1 : 1 + data[0] % 7;
    std::string joined;
    for (std::size_t at = 0; at < text.unitCount();) {
        std::size_t count = std::min(step, text.unitCount() - at);
        if (count > 1 && text.isHighSurrogateAt(at + count - 1)) --count;
        if (count == 1 && text.isHighSurrogateAt(at) && at + 1 < text.unitCount()) count = 2;
        joined += text.unitsAsUtf8(at, count);
        at += count;
    }
    if (joined != text.toUtf8()) std::abort();

    // Any UTF-16 units, lone halves too, come back as valid UTF-8.
    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * 2);
    const std::string utf8 = qk::wideToUtf8(units);
    if (!qk::isValidUtf8(utf8)) std::abort();
    return 0;
}
