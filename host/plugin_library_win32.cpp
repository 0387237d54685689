// Opening a plug-in DLL as the host does on Windows: LoadLibraryW, then
// GetProcAddress for DllGetClassObject; the module handle is the plug-in's hInstance.
#include <windows.h>

#include "host/plugin_library.h"
#include "platform/win32/wide_path.h"

namespace qkhost {

namespace {

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
    const HMODULE module = ::LoadLibraryW(qk::platform::win32::widen(path).c_str());
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
