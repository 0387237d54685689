// File text as the page sees it: strict UTF-8, else ISO-8859-1, counted in
// UTF-16 units as JavaScript strings count.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace qk::bridge {

// The bytes of one file together with how they decode. It keeps the bytes and
// never builds the UTF-16 text: a 64 MiB file is served chunk by chunk, and each
// chunk converts only its own units.
class DecodedText {
public:
    enum class Encoding { Utf8, Latin1 };

    DecodedText() = default;
    // Strict UTF-8 when the bytes are valid UTF-8, ISO-8859-1 otherwise.
    static DecodedText decode(std::string_view bytes);
    // The same, taking over a buffer whose text starts `skip` bytes in.
    static DecodedText decode(std::unique_ptr<char[]> data, std::size_t size, std::size_t skip);

    Encoding encoding() const { return encoding_; }
    // Length of the text in UTF-16 units.
    std::size_t unitCount() const { return units_; }
    // True when the unit at `index` is the first half of a surrogate pair.
    bool isHighSurrogateAt(std::size_t index) const;
    // The units [start, start + count) as UTF-8. A half of a surrogate pair cut
    // off by either end becomes U+FFFD, as the system's converter writes it.
    std::string unitsAsUtf8(std::size_t start, std::size_t count) const;
    // The whole text in UTF-8.
    std::string toUtf8() const { return unitsAsUtf8(0, units_); }
    // The whole text in UTF-16.
    std::u16string toUtf16() const;

private:
    struct Position {
        std::size_t byte = 0;
        std::size_t unit = 0;
    };
    // The character boundary at or just before `unit` (one unit before it when
    // `unit` falls between the halves of a pair).
    Position locate(std::size_t unit) const;

    std::unique_ptr<char[]> storage_;
    std::string_view bytes_;
    Encoding encoding_ = Encoding::Utf8;
    bool ascii_ = true;
    std::size_t units_ = 0;
    // Chunks are asked for in order, so each lookup starts where the last ended.
    mutable Position cursor_;
};

// The bytes decoded to UTF-16 with the same rule.
std::u16string decodeTextBytes(std::string_view bytes);

}  // namespace qk::bridge
