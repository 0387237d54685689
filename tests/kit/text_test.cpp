#include "kit/text.h"

#include <gtest/gtest.h>

namespace {

TEST(Text, RoundTripsEveryPlane) {
    const std::string s = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xA4";  // café € 🎤
    const std::u16string w = qk::utf8ToWide(s);
    EXPECT_EQ(w, u"caf\u00e9 \u20ac \U0001F3A4");
    EXPECT_EQ(w.size(), 9u);  // the microphone is a surrogate pair
    EXPECT_EQ(qk::wideToUtf8(w), s);
    EXPECT_EQ(qk::utf8ToWide(""), u"");
    EXPECT_EQ(qk::wideToUtf8(u""), "");
}

TEST(Text, MalformedInputIsReplacedNeverFails) {
    struct Case {
        std::string in;
        std::u16string out;
    };
    const Case cases[] = {
        {"a\xFF" "b", u"a\uFFFDb"},                 // invalid byte
        {"\xC3", u"\uFFFD"},                        // truncated sequence
        {"\xC0\xAF", u"\uFFFD\uFFFD"},              // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},    // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
    };
    for (const auto& c : cases) EXPECT_EQ(qk::utf8ToWide(c.in), c.out);
    EXPECT_EQ(qk::wideToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(qk::wideToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

TEST(Text, Utf8Validity) {
    EXPECT_TRUE(qk::isValidUtf8("plain"));
    EXPECT_TRUE(qk::isValidUtf8("\xEF\xBF\xBD"));  // a real replacement character
    EXPECT_TRUE(qk::isValidUtf8("\xF0\x9F\x8E\xA4"));
    EXPECT_FALSE(qk::isValidUtf8("\xE9t\xE9"));  // ISO-8859-1
    EXPECT_FALSE(qk::isValidUtf8("\xED\xA0\x80"));
}

}  // namespace
