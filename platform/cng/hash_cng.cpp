// CNG backend of the hash seam: the SHA-256 provider, a hash object the
// provider allocates itself (no caller buffer, no secret), one pass over the data.
#include <windows.h>

#include <bcrypt.h>

#include <climits>

#include "platform/hash.h"

namespace qk::platform {

std::optional<Sha256Digest> sha256(std::string_view data) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return std::nullopt;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
    // BCryptHashData takes a 32-bit length: larger inputs go in pieces.
    std::string_view rest = data;
    while (ok && !rest.empty()) {
        const ULONG piece = rest.size() > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(rest.size());
        auto* bytes = reinterpret_cast<PUCHAR>(const_cast<char*>(rest.data()));
        ok = BCRYPT_SUCCESS(::BCryptHashData(hash, bytes, piece, 0));
        rest.remove_prefix(piece);
    }
    Sha256Digest digest{};
    ok = ok && BCRYPT_SUCCESS(::BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
    if (hash != nullptr) ::BCryptDestroyHash(hash);
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!ok) return std::nullopt;
    return digest;
}

}  // namespace qk::platform
