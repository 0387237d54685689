// The WebView2 side of the Windows UI loop: finding the installed runtime and
// starting its environment. The Win32 UI loop answers webEngineVersion and
// createWebViewEnvironment through these two, so that everything WebView2 stays
// in this folder.
#pragma once
#include <string>

#include "platform/ui_loop.h"

namespace qk::platform::webview2 {

// The installed runtime's version text; empty when no runtime can be reached.
std::string installedVersion();

// Starts the runtime's environment with its profile in `userDataFolder` (empty:
// the runtime's default), as UiLoop::createWebViewEnvironment promises: a
// failure to start returns its code at once and `done` never runs; otherwise 0,
// and `done` runs later on the calling (UI) thread.
long createEnvironment(const std::string& userDataFolder, UiLoop::EnvironmentDone done);

}  // namespace qk::platform::webview2
