// The hash backend of the build (OpenSSL on Linux, CNG on Windows) against the
// published SHA-256 vectors.
#include "platform/hash.h"

#include <gtest/gtest.h>

#include <string>

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
    struct Case {
        std::string data;
        const char* digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // Two blocks: the padding spills into a second one.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        // A NUL inside the data is hashed like any other byte.
        {std::string("a\0b", 3), "59b271ae1bbcb1d31d41929817f4b16fb439eb4f31520b5ad1d5ce98920a7138"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases) {
        const auto digest = qk::platform::sha256(c.data);
        ASSERT_TRUE(digest) << c.data.size() << " bytes";
        EXPECT_EQ(hex(*digest), c.digest) << c.data.size() << " bytes";
    }
}

}  // namespace
