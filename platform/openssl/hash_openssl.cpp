#include <openssl/evp.h>

#include <memory>

#include "platform/hash.h"

namespace qk::platform {

std::optional<Sha256Digest> sha256(std::string_view data) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!ctx) return std::nullopt;
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
    if (EVP_DigestUpdate(ctx.get(), data.data(), data.size()) != 1) return std::nullopt;
    if (EVP_DigestFinal_ex(ctx.get(), digest.data(), &length) != 1 || length != digest.size()) return std::nullopt;
    return digest;
}

}  // namespace qk::platform
