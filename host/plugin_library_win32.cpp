// Opening a plug-in DLL as the host does on Windows: LoadLibraryW, then
// GetProcAddress for DllGetClassObject; the module handle is the plug-in's hInstance.
#include <windows.h>

#include "host/plugin_library.h"

namespace qkhost {

namespace {

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string lastErrorText() {
    const DWORD code = ::GetLastError();
    char* text = nullptr;
    ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string out = text != nullptr ? text : "";
    if (text != nullptr) ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
    return out + " (error " + std::to_string(code) + ")";
}

}  // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::open(const std::string& path, std::string* error) {
    const HMODULE module = ::LoadLibraryW(widen(path).c_str());
    if (module == nullptr) {
        if (error) *error = "cannot load " + path + ": " + lastErrorText();
        return nullptr;
    }
    const FARPROC symbol = ::GetProcAddress(module, "DllGetClassObject");
    if (symbol == nullptr) {
        if (error) *error = "no DllGetClassObject in " + path;
        ::FreeLibrary(module);
        return nullptr;
    }
    std::unique_ptr<PluginLibrary> lib(new PluginLibrary);
    lib->handle_ = module;
    lib->moduleHandle_ = module;
    lib->getClassObject_ = reinterpret_cast<vdj::GetClassObjectFn>(reinterpret_cast<void*>(symbol));
    lib->path_ = path;
    return lib;
}

}  // namespace qkhost
