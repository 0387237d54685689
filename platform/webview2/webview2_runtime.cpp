#include "platform/webview2/webview2_runtime.h"

#include <windows.h>

#include <memory>
#include <utility>

#include "kit/log.h"
#include "platform/module_dir.h"
#include "platform/webview2/com_ref.h"
#include "platform/webview2/webview2_environment.h"
#include "platform/webview2/webview2_handlers.h"
#include "platform/webview2/webview2_loader.h"
#include "platform/win32/wide_path.h"

namespace qk::platform::webview2 {
namespace {

bool isFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The REG_SZ value `name` of `root`\`key`; empty when any of it is missing.
std::wstring registryText(HKEY root, const wchar_t* key, REGSAM view, const wchar_t* name) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) return {};
    std::wstring text;
    DWORD type = 0, bytes = 0;
    if (::RegQueryValueExW(opened, name, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS && type == REG_SZ &&
        bytes >= sizeof(wchar_t)) {
        text.resize(bytes / sizeof(wchar_t));
        if (::RegQueryValueExW(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) !=
            ERROR_SUCCESS)
            text.clear();
        text.resize(bytes / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
    }
    ::RegCloseKey(opened);
    return text;
}

// The loader DLL beside the plug-in: only ever by its full path, since a bare
// name would be searched in the host program's folder first.
bool tryLoader(const std::wstring& moduleFolder, RuntimeEntry& out) {
    if (moduleFolder.empty()) return false;
    const std::wstring dll = moduleFolder + L"\\WebView2Loader.dll";
    if (!isFile(dll)) return false;
    HMODULE module = ::LoadLibraryExW(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) return false;
    auto getVersion = reinterpret_cast<GetAvailableBrowserVersionFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, "GetAvailableCoreWebView2BrowserVersionString")));
    auto create = reinterpret_cast<CreateEnvironmentWithOptionsFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, "CreateCoreWebView2EnvironmentWithOptions")));
    if (getVersion == nullptr || create == nullptr) {
        ::FreeLibrary(module);
        return false;
    }
    out.route = RuntimeEntry::Route::Loader;
    out.dll = dll;
    out.getVersion = getVersion;
    out.createWithLoader = create;
    return true;  // kept loaded: see findRuntime
}

// The Evergreen runtime without Microsoft's loader. What this relies on:
// - the runtime registers under <clientStateKey> (the EdgeUpdate ClientState key
//   {F3017226-FE2A-4295-8BDF-00C3A9A7E4C5} for the stable channel), per user in
//   HKEY_CURRENT_USER, else per machine in HKEY_LOCAL_MACHINE's 32-bit view;
//   the loader looks per user first, and so does this;
// - its REG_SZ value "EBWebView" is the runtime's versioned folder, and that
//   folder's name is the version;
// - the engine is <folder>\EBWebView\x64\EmbeddedBrowserWebView.dll, whose export
//   CreateWebViewEnvironmentWithOptionsInternal(checkRunningInstance, runtimeType,
//   userDataFolder, options, handler) is what the loader calls, with TRUE and 0
//   (an installed runtime);
// - the engine completes the creation later from inside that DLL, so it stays
//   loaded for the rest of the process.
bool tryInstalled(const wchar_t* clientStateKey, RuntimeEntry& out) {
    const struct {
        HKEY root;
        REGSAM view;
    } places[] = {{HKEY_CURRENT_USER, 0}, {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY}};
    for (const auto& place : places) {
        std::wstring folder = registryText(place.root, clientStateKey, place.view, L"EBWebView");
        while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
        if (folder.empty()) continue;
        const std::wstring dll = folder + L"\\EBWebView\\x64\\EmbeddedBrowserWebView.dll";
        if (!isFile(dll)) continue;
        HMODULE module = ::LoadLibraryExW(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (module == nullptr) continue;
        auto create = reinterpret_cast<CreateEnvironmentInternalFn>(
            reinterpret_cast<void*>(::GetProcAddress(module, "CreateWebViewEnvironmentWithOptionsInternal")));
        if (create == nullptr) {
            ::FreeLibrary(module);
            continue;
        }
        const auto cut = folder.find_last_of(L"\\/");
        out.route = RuntimeEntry::Route::Installed;
        out.dll = dll;
        out.version = win32::narrow(cut == std::wstring::npos ? folder : folder.substr(cut + 1));
        out.createInstalled = create;
        return true;
    }
    return false;
}

}  // namespace

std::wstring ownModuleFolder() {
    static const int anchor = 0;  // any address inside this module
    return win32::widen(moduleDirectory(&anchor));
}

RuntimeEntry findRuntime(const std::wstring& moduleFolder, const wchar_t* clientStateKey) {
    RuntimeEntry entry;
    if (tryLoader(moduleFolder, entry)) return entry;
    if (tryInstalled(clientStateKey, entry)) return entry;
    entry.dll = moduleFolder + L"\\WebView2Loader.dll";
    return entry;
}

std::string runtimeVersion(const RuntimeEntry& runtime) {
    switch (runtime.route) {
        case RuntimeEntry::Route::Loader: {
            CoTaskString version;
            if (FAILED(runtime.getVersion(nullptr, version.put()))) return {};
            return version.utf8();
        }
        case RuntimeEntry::Route::Installed: return runtime.version;
        case RuntimeEntry::Route::None: break;
    }
    return {};
}

long createEnvironmentWith(const RuntimeEntry& runtime, const std::string& userDataFolder,
                           UiLoop::EnvironmentDone done) {
    const LogFile log = LogFile::karaoke();
    if (runtime.route == RuntimeEntry::Route::None) {
        log.logLine("WebView2: no WebView2Loader.dll beside the plugin (%s) and no installed runtime registered",
                    win32::narrow(runtime.dll).c_str());
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    if (runtime.route == RuntimeEntry::Route::Loader)
        log.logLine("WebView2: through the loader beside the plugin: %s", win32::narrow(runtime.dll).c_str());
    else
        log.logLine("WebView2: through the installed runtime %s: %s", runtime.version.c_str(),
                    win32::narrow(runtime.dll).c_str());

    auto apartment = ComApartment::enter();
    auto handler = EnvironmentCompletedHandler::make(
        [done = std::move(done), apartment](HRESULT result, ICoreWebView2Environment* environment) -> HRESULT {
            if (FAILED(result) || environment == nullptr) {
                done(FAILED(result) ? result : E_POINTER, nullptr);
            } else {
                done(0, makeEnvironment(ComRef<ICoreWebView2Environment>(environment), apartment));
            }
            return S_OK;
        });
    const std::wstring folder = win32::widen(userDataFolder);
    const wchar_t* udf = folder.empty() ? nullptr : folder.c_str();
    const HRESULT hr = runtime.route == RuntimeEntry::Route::Loader
                           ? runtime.createWithLoader(nullptr, udf, nullptr, handler.get())
                           : runtime.createInstalled(TRUE, 0, udf, nullptr, handler.get());
    if (FAILED(hr)) handler->disarm();  // the caller hears of the failure from the result alone
    return hr;
}

std::string installedVersion() {
    return runtimeVersion(findRuntime(ownModuleFolder()));
}

long createEnvironment(const std::string& userDataFolder, UiLoop::EnvironmentDone done) {
    return createEnvironmentWith(findRuntime(ownModuleFolder()), userDataFolder, std::move(done));
}

}  // namespace qk::platform::webview2
