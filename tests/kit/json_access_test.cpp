#include "kit/json_access.h"

#include <gtest/gtest.h>

namespace {

TEST(JsonAccess, GettersAreTypeStrict) {
    const auto doc = qk::parseJsonStrict(
        R"({"s":"text","n":2.5,"i":-3,"u":4,"b":true,"one":1,"o":{"k":1},"nul":null,"arr":[1]})");
    ASSERT_TRUE(doc);
    const qk::Json& d = *doc;
    EXPECT_EQ(qk::getString(d, "s"), "text");
    EXPECT_EQ(qk::getString(d, "n"), "");  // a number is not text
    EXPECT_EQ(qk::getString(d, "missing"), "");
    EXPECT_EQ(qk::getNumber(d, "n", 9), 2.5);
    EXPECT_EQ(qk::getNumber(d, "i", 9), -3);
    EXPECT_EQ(qk::getNumber(d, "u", 9), 4);
    EXPECT_EQ(qk::getNumber(d, "b", 9), 9);  // true is not a number
    EXPECT_EQ(qk::getNumber(d, "s", 9), 9);
    EXPECT_EQ(qk::getBool(d, "b", false), true);
    EXPECT_EQ(qk::getBool(d, "one", false), false);  // 1 is not a bool
    EXPECT_EQ(qk::getBool(d, "nul", true), true);
    ASSERT_NE(qk::getObject(d, "o"), nullptr);
    EXPECT_EQ(qk::getNumber(*qk::getObject(d, "o"), "k", 0), 1);
    EXPECT_EQ(qk::getObject(d, "arr"), nullptr);
    EXPECT_EQ(qk::getObject(d, "s"), nullptr);
    // Non-objects answer the defaults.
    const qk::Json array = qk::Json::array({1, 2});
    EXPECT_EQ(qk::getString(array, "s"), "");
    EXPECT_EQ(qk::getNumber(array, "n", 7), 7);
    EXPECT_EQ(qk::getBool(qk::Json("x"), "b", true), true);
}

TEST(JsonAccess, StrictParse) {
    const char* bad[] = {"", "   ", "{\"a\":1} x", "{\"a\":1}{}", "{/*c*/\"a\":1}", "{\"a\":1 // c\n}",
                         "{\"a\":", "[1,]", "{'a':1}"};
    for (const char* text : bad) EXPECT_FALSE(qk::parseJsonStrict(text)) << text;
    EXPECT_TRUE(qk::parseJsonStrict("  {\"a\":1}\r\n\t "));
    EXPECT_TRUE(qk::parseJsonStrict("\"a string\""));
    EXPECT_TRUE(qk::parseJsonStrict("[1,2]"));
}

}  // namespace
