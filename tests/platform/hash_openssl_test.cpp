#include <gtest/gtest.h>

#include "platform/hash.h"

namespace {

std::string hex(const qk::platform::Sha256Digest& d) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (auto b : d) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

TEST(Sha256, KnownDigests) {
    EXPECT_EQ(hex(*qk::platform::sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex(*qk::platform::sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hex(*qk::platform::sha256(std::string(1000000, 'a'))),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
