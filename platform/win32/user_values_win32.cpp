// Per-user values in the registry: binary values under the key
// HKEY_CURRENT_USER\Software\QuorvaleKaraoke, read with RegQueryValueExW and
// written with RegSetValueExW.
#include <windows.h>

#include <vector>

#include "platform/user_values.h"
#include "platform/win32/wide_path.h"

namespace qk::platform {
namespace {

constexpr wchar_t kKey[] = L"Software\\QuorvaleKaraoke";
// Far above anything kept here; a larger value is not one of ours.
constexpr DWORD kMaxValueBytes = 64 * 1024;

class RegistryValueStore final : public UserValueStore {
public:
    std::optional<std::string> readBinary(const std::string& name) override {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
        const std::wstring value = win32::widen(name);
        DWORD type = 0;
        DWORD size = 0;
        std::optional<std::string> out;
        if (::RegQueryValueExW(key, value.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
            type == REG_BINARY && size <= kMaxValueBytes) {
            std::vector<BYTE> bytes(size == 0 ? 1 : size);
            DWORD got = size;
            // The value may change between the two calls: the second one's type and size count.
            if (::RegQueryValueExW(key, value.c_str(), nullptr, &type, bytes.data(), &got) == ERROR_SUCCESS &&
                type == REG_BINARY && got <= size)
                out.emplace(reinterpret_cast<const char*>(bytes.data()), got);
        }
        ::RegCloseKey(key);
        return out;
    }

    bool writeBinary(const std::string& name, std::string_view bytes) override {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                              &key, nullptr) != ERROR_SUCCESS)
            return false;
        const std::wstring value = win32::widen(name);
        const LSTATUS rc =
            ::RegSetValueExW(key, value.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size()));
        ::RegCloseKey(key);
        return rc == ERROR_SUCCESS;
    }
};

}  // namespace

std::unique_ptr<UserValueStore> createUserValueStore() {
    return std::make_unique<RegistryValueStore>();
}

}  // namespace qk::platform
