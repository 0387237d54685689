// How the backend reaches a WebView2 runtime: the loader DLL beside the plug-in
// when the KJ's package carries one, else the Evergreen runtime Windows has
// installed. Declared apart from webview2_runtime.h so that the tests can point
// the search at folders and registry keys of their own.
#pragma once

#include <windows.h>

#include <string>

#include "platform/ui_loop.h"
#include "platform/webview2/webview2_interfaces.h"

namespace qk::platform::webview2 {

// Where the installed runtime registers itself, per user and per machine.
inline constexpr const wchar_t* kRuntimeClientStateKey =
    L"SOFTWARE\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";

struct RuntimeEntry {
    enum class Route { None, Loader, Installed };
    Route route = Route::None;
    std::wstring dll;     // the DLL the entry points come from; where the search ended for None
    std::string version;  // the installed route only: its versioned folder's name
    GetAvailableBrowserVersionFn getVersion = nullptr;  // the loader route
    CreateEnvironmentWithOptionsFn createWithLoader = nullptr;
    CreateEnvironmentInternalFn createInstalled = nullptr;  // the installed route
};

// Looks beside the module first, then under `clientStateKey` in HKEY_CURRENT_USER
// and then in HKEY_LOCAL_MACHINE. A DLL found is kept loaded for the rest of the
// process: the engine completes its calls later, from inside it.
RuntimeEntry findRuntime(const std::wstring& moduleFolder, const wchar_t* clientStateKey = kRuntimeClientStateKey);

// The version text of the runtime found; empty for none.
std::string runtimeVersion(const RuntimeEntry& runtime);

// createEnvironment of webview2_runtime.h, through the runtime found. Logs the
// route it takes.
long createEnvironmentWith(const RuntimeEntry& runtime, const std::string& userDataFolder,
                           UiLoop::EnvironmentDone done);

// The folder of the module this backend is linked into (the plug-in's DLL).
std::wstring ownModuleFolder();

}  // namespace qk::platform::webview2
