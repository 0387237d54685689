// Per-user values kept between runs under the kit's own name, where the platform
// has a store for them: on Windows the registry key
// HKEY_CURRENT_USER\Software\QuorvaleKaraoke. POSIX has none (the store is null)
// and the caller keeps a file of its own in the user's settings folder instead.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qk::platform {

class UserValueStore {
public:
    virtual ~UserValueStore() = default;
    // The bytes of the binary value `name`; nothing when the key or the value is
    // missing, or the value is of another type.
    virtual std::optional<std::string> readBinary(const std::string& name) = 0;
    // Writes the binary value, creating the key when needed. False on failure.
    virtual bool writeBinary(const std::string& name, std::string_view bytes) = 0;
};

// Null where the platform has no such store.
std::unique_ptr<UserValueStore> createUserValueStore();

}  // namespace qk::platform
