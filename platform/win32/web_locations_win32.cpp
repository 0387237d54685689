#include <shlobj.h>
#include <shlwapi.h>
#include <windows.h>

#include "platform/web_locations.h"
#include "platform/win32/wide_path.h"

namespace qk::platform {

const char* const kWebEngineProfileName = "WebView2";

std::string fileUrlFromPath(std::string_view path) {
    // The shell's conversion (file:///C:/...), with the path's own text after
    // "file:///" when it cannot convert.
    std::wstring wide = win32::widen(path);
    std::wstring url(4096, L'\0');
    DWORD length = static_cast<DWORD>(url.size());
    if (SUCCEEDED(::UrlCreateFromPathW(wide.c_str(), url.data(), &length, 0)) && length < url.size()) {
        url.resize(length);
        return win32::narrow(url);
    }
    return "file:///" + std::string(path);
}

std::string localDataFolder() {
    PWSTR folder = nullptr;
    std::string out;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder)) && folder != nullptr)
        out = win32::narrow(folder);
    ::CoTaskMemFree(folder);
    return out;
}

}  // namespace qk::platform
