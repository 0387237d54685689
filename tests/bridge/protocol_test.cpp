// The answer text: the member rules, and a serializer that must print exactly
// what the JSON library prints with ASCII output, only faster.
#include <gtest/gtest.h>

#include "bridge/protocol.h"

namespace {

using qk::Json;
using namespace qk::bridge;

std::string libraryText(const Json& v) { return v.dump(-1, ' ', true, Json::error_handler_t::strict); }

TEST(AnswerSerialization, PrintsWhatTheLibraryPrints) {
    const Json cases[] = {
        makeAnswer("7", 0, ""),
        makeAnswer("x", -1, "caf\xC3\xA9"),                       // U+00E9
        makeAnswer("x", 0, "\xF0\x9F\x8E\xA4 mic"),               // U+1F3A4, a surrogate pair
        makeAnswer("q\"\\/", 0, std::string("\b\f\n\r\t\x01\x1F\x7F", 8)),
        makeAnswer("x", 0, "\xE2\x82\xAC\xEF\xBF\xBD\xF4\x8F\xBF\xBF"),  // U+20AC, U+FFFD, U+10FFFF
        Json{{"eof", true}, {"total", std::uint64_t{18446744073709551615ull}}, {"mtime", 1733791234567.0},
             {"neg", -42}, {"half", 0.5}, {"nothing", nullptr}, {"list", Json::array({1, "two", Json::object()})}},
        Json::array({Json{{"name", "\xC3\xA9.json"}, {"dir", false}}}),
    };
    // Every ASCII character at every alignment, among long plain runs.
    std::string ascii;
    for (int shift = 0; shift < 9; ++shift)
        for (int c = 1; c < 128; ++c) ascii += std::string(static_cast<size_t>(shift), 'x') + static_cast<char>(c) + "\xC3\xA9";
    EXPECT_EQ(answerScriptFor(makeAnswer("long", 0, ascii)), answerScript(libraryText(makeAnswer("long", 0, ascii))));
    for (const Json& c : cases) {
        const auto text = serializeAnswer(c);
        ASSERT_TRUE(text.has_value()) << libraryText(c);
        EXPECT_EQ(*text, libraryText(c));
    }
    EXPECT_EQ(*serializeAnswer(makeAnswer("a", 0, "\xC3\xA9")), R"({"hr":0,"id":"a","result":"\u00e9"})");
    EXPECT_EQ(*serializeAnswer(makeAnswer("a", 0, "\xF0\x9F\x8E\xA4")),
              R"({"hr":0,"id":"a","result":"\ud83c\udfa4"})");
}

TEST(AnswerSerialization, TextThatIsNotUtf8GivesTheFixedAnswer) {
    const char* bad[] = {"\xFF", "\xC0\x80", "\xED\xA0\x80", "\xF5\x80\x80\x80", "\xE2\x82", "ok\xC3", "\xF4\x90\x80\x80"};
    for (const char* b : bad) {
        const Json answer = makeAnswer("id", 0, b);
        EXPECT_FALSE(serializeAnswer(answer).has_value()) << b;
        EXPECT_THROW(libraryText(answer), Json::type_error);
        EXPECT_EQ(serializeAnswerOrFallback(answer), R"x({"id":"0","hr":-1,"result":"(response serialization failed)"})x");
    }
    EXPECT_EQ(kSerializationFailedAnswer.size(), 61u);
    // A bad text in a member name fails the same way.
    EXPECT_FALSE(serializeAnswer(Json{{"\xFF", 1}}).has_value());
}

TEST(AnswerSerialization, AnswerScriptWrapsTheText) {
    EXPECT_EQ(answerScript(R"({"hr":0})"), R"(window.qkResolve({"hr":0});)");
}

TEST(MemberRules, OnlyTheRightTypeCounts) {
    const Json o = Json::parse(R"({"s":"t","n":3,"u":18446744073709551615,"f":-1.5,"b":true,"z":null,"ns":"4"})");
    EXPECT_EQ(stringMember(o, "s"), "t");
    EXPECT_EQ(stringMember(o, "n"), "");
    EXPECT_EQ(stringMember(o, "missing"), "");
    EXPECT_EQ(stringMember(Json::array(), "s"), "");
    EXPECT_EQ(numberMember(o, "n"), 3.0);
    EXPECT_EQ(numberMember(o, "u"), 18446744073709551615.0);
    EXPECT_EQ(numberMember(o, "f"), -1.5);
    EXPECT_FALSE(numberMember(o, "ns").has_value());
    EXPECT_FALSE(numberMember(o, "b").has_value());
    EXPECT_EQ(boolMember(o, "b"), true);
    EXPECT_FALSE(boolMember(o, "n").has_value());
    EXPECT_FALSE(boolMember(o, "z").has_value());
}

}  // namespace
