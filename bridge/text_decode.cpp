#include "bridge/text_decode.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "kit/text.h"

namespace qk::bridge {

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

inline bool allAscii8(const unsigned char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    return (word & kHighBits) == 0;
}

// Length of the leading run of ASCII bytes; most text is mostly ASCII, so this
// is where a large file's time goes.
inline std::size_t asciiRun(const unsigned char* p, std::size_t n) {
    std::size_t i = 0;
#if defined(__SSE2__)
    while (i + 32 <= n) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16));
        if (_mm_movemask_epi8(_mm_or_si128(a, b)) != 0) break;
        i += 32;
    }
#endif
    while (i + 8 <= n && allAscii8(p + i)) i += 8;
    while (i < n && p[i] < 0x80) ++i;
    return i;
}

// Length in bytes and UTF-16 units of the well-formed character led by `b`.
inline void charShape(unsigned char b, std::size_t& bytes, std::size_t& units) {
    if (b < 0x80) {
        bytes = 1;
        units = 1;
    } else if (b < 0xE0) {
        bytes = 2;
        units = 1;
    } else if (b < 0xF0) {
        bytes = 3;
        units = 1;
    } else {
        bytes = 4;
        units = 2;
    }
}

// Validates strict UTF-8 (shortest forms, no surrogates, up to U+10FFFF) and
// counts UTF-16 units in one pass; false at the first malformed sequence.
bool validateAndCount(std::string_view s, std::size_t& units, bool& ascii) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::size_t i = 0, u = 0;
    ascii = true;
    while (i < n) {
        const std::size_t run = asciiRun(p + i, n - i);
        i += run;
        u += run;
        if (i >= n) break;
        const unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            ++u;
            continue;
        }
        ascii = false;
        int need;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(need) >= n) return false;
        for (int k = 1; k <= need; ++k) {
            const unsigned char c = p[i + static_cast<std::size_t>(k)];
            if (c < lo || c > hi) return false;
            lo = 0x80;
            hi = 0xBF;
        }
        i += static_cast<std::size_t>(need) + 1;
        u += need == 3 ? 2 : 1;
    }
    units = u;
    return true;
}

constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";

void appendLatin1AsUtf8(std::string& out, const unsigned char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] < 0x80) {
            out += static_cast<char>(p[i]);
        } else {
            out += static_cast<char>(0xC0 | (p[i] >> 6));
            out += static_cast<char>(0x80 | (p[i] & 0x3F));
        }
    }
}

}  // namespace

DecodedText DecodedText::decode(std::string_view bytes) {
    auto copy = std::make_unique_for_overwrite<char[]>(bytes.size());
    if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
    return decode(std::move(copy), bytes.size(), 0);
}

DecodedText DecodedText::decode(std::unique_ptr<char[]> data, std::size_t size, std::size_t skip) {
    DecodedText t;
    if (skip > size) skip = size;
    t.storage_ = std::move(data);
    t.bytes_ = std::string_view(t.storage_.get() + skip, size - skip);
    const std::string_view bytes = t.bytes_;
    std::size_t units = 0;
    bool ascii = true;
    if (validateAndCount(bytes, units, ascii)) {
        t.encoding_ = Encoding::Utf8;
        t.ascii_ = ascii;
        t.units_ = units;
    } else {
        t.encoding_ = Encoding::Latin1;
        t.ascii_ = false;
        t.units_ = bytes.size();
    }
    return t;
}

DecodedText::Position DecodedText::locate(std::size_t unit) const {
    Position pos = cursor_.unit <= unit ? cursor_ : Position{};
    const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data());
    const std::size_t n = bytes_.size();
    while (pos.unit < unit && pos.byte < n) {
        if (p[pos.byte] < 0x80) {
            const std::size_t run = std::min(asciiRun(p + pos.byte, n - pos.byte), unit - pos.unit);
            pos.byte += run;
            pos.unit += run;
            continue;
        }
        std::size_t bytes, units;
        charShape(p[pos.byte], bytes, units);
        if (pos.unit + units > unit) break;  // `unit` is the second half of this pair
        pos.byte += bytes;
        pos.unit += units;
    }
    return pos;
}

bool DecodedText::isHighSurrogateAt(std::size_t index) const {
    if (encoding_ != Encoding::Utf8 || ascii_ || index >= units_) return false;
    const Position pos = locate(index);
    if (pos.unit != index) return false;  // the second half
    return static_cast<unsigned char>(bytes_[pos.byte]) >= 0xF0;
}

std::string DecodedText::unitsAsUtf8(std::size_t start, std::size_t count) const {
    if (start >= units_ || count == 0) return {};
    if (count > units_ - start) count = units_ - start;
    if (encoding_ == Encoding::Latin1) {
        std::string out;
        out.reserve(count + count / 2);
        appendLatin1AsUtf8(out, reinterpret_cast<const unsigned char*>(bytes_.data()) + start, count);
        return out;
    }
    if (ascii_) return std::string(bytes_.substr(start, count));

    std::string out;
    Position pos = locate(start);
    std::size_t remaining = count;
    if (pos.unit < start) {  // begins with the second half of a pair
        out += kReplacementUtf8;
        pos.byte += 4;
        pos.unit += 2;
        --remaining;
    }
    const std::size_t from = pos.byte;
    const Position end = locate(pos.unit + remaining);
    out.append(bytes_, from, end.byte - from);
    if (end.unit < pos.unit + remaining) out += kReplacementUtf8;  // ends after the first half of a pair
    cursor_ = end;
    return out;
}

std::u16string DecodedText::toUtf16() const {
    if (encoding_ == Encoding::Utf8) return utf8ToWide(bytes_);
    std::u16string out(bytes_.size(), u'\0');
    for (std::size_t i = 0; i < bytes_.size(); ++i) out[i] = static_cast<unsigned char>(bytes_[i]);
    return out;
}

std::u16string decodeTextBytes(std::string_view bytes) { return DecodedText::decode(bytes).toUtf16(); }

}  // namespace qk::bridge
