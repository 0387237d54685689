#include <windows.h>

#include <vector>

#include "platform/module_dir.h"
#include "platform/win32/wide_path.h"

namespace qk::platform {

std::string moduleDirectory(const void* addressInModule) {
    if (addressInModule == nullptr) return {};
    // The host hands over the module handle (the module's base address); any
    // other address inside the module finds the same module.
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(addressInModule), &module))
        return {};
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0) return {};
        if (n < name.size()) {
            name.resize(n);
            break;
        }
        name.resize(name.size() * 2);  // cut off: try a larger buffer
    }
    const std::wstring path(name.begin(), name.end());
    const auto cut = path.find_last_of(L"\\/");
    if (cut == std::wstring::npos) return {};
    return win32::narrow(std::wstring_view(path).substr(0, cut));
}

}  // namespace qk::platform
