// A build without a WebView2 backend: no runtime can be reached, so the
// environment never starts and the plug-in's windows stay without a page.
#include <windows.h>

#include "platform/webview2/webview2_runtime.h"

namespace qk::platform::webview2 {

std::string installedVersion() {
    return {};
}

long createEnvironment(const std::string&, UiLoop::EnvironmentDone) {
    return static_cast<long>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

}  // namespace qk::platform::webview2
