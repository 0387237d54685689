// UTF-8 <-> UTF-16 conversion. Never fails: malformed input becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace qk {

std::u16string utf8ToWide(std::string_view utf8);
std::string wideToUtf8(std::u16string_view wide);

// True when the bytes are well-formed UTF-8 (no overlongs, surrogates or code
// points past U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// The bytes as valid UTF-8 text: unchanged when they are, otherwise with each
// malformed sequence as U+FFFD. File names on this system are bytes; whatever
// the page is shown of them is text.
std::string asValidUtf8(std::string_view bytes);

}  // namespace qk
