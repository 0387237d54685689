#include "kit/text.h"

#include <cstdint>

namespace qk {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at bytes[i], advancing i. A malformed sequence yields
// U+FFFD and consumes its maximal valid prefix (at least one byte), the way the
// common platform converters do.
char32_t decodeOne(std::string_view bytes, size_t& i) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int need;
    char32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        ++i;
        return kReplacement;
    }
    ++i;
    for (int k = 0; k < need; ++k) {
        if (i >= bytes.size()) return kReplacement;
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < lo || b > hi) return kReplacement;
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
        ++i;
    }
    return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::u16string utf8ToWide(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const char32_t cp = decodeOne(utf8, i);
        if (cp >= 0x10000) {
            const char32_t v = cp - 0x10000;
            out += static_cast<char16_t>(0xD800 + (v >> 10));
            out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string wideToUtf8(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size() * 3 / 2);
    for (size_t i = 0; i < wide.size(); ++i) {
        char32_t cp = wide[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
                ++i;
            } else {
                cp = kReplacement;  // lone high surrogate
            }
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            cp = kReplacement;  // lone low surrogate
        }
        appendUtf8(out, cp);
    }
    return out;
}

bool isValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        const size_t start = i;
        const char32_t cp = decodeOne(bytes, i);
        // A real U+FFFD in the input is three bytes long; a substituted one is not
        // necessarily, so check the bytes themselves.
        if (cp == kReplacement && !(i - start == 3 && bytes.substr(start, 3) == "\xEF\xBF\xBD")) return false;
    }
    return true;
}

std::string asValidUtf8(std::string_view bytes) {
    return isValidUtf8(bytes) ? std::string(bytes) : wideToUtf8(utf8ToWide(bytes));
}

}  // namespace qk
