// The UI loop on Win32: the thread that makes the first window is the UI thread
// and the host's message loop serves it. The web engine is WebView2, reached
// through platform/webview2/.
#include <windows.h>

#include "platform/ui_loop.h"
#include "platform/webview2/webview2_runtime.h"
#include "platform/win32/window_win32.h"

namespace qk::platform {
namespace {

class Win32UiLoop final : public UiLoop {
public:
    std::unique_ptr<Window> createWindow(const WindowOptions& options, unsigned long* error) override {
        return win32::createTopWindow(options, error);
    }
    std::string webEngineVersion() override { return webview2::installedVersion(); }
    long createWebViewEnvironment(const std::string& userDataFolder, EnvironmentDone done) override {
        return webview2::createEnvironment(userDataFolder, std::move(done));
    }
};

}  // namespace

std::unique_ptr<UiLoop> createUiLoop() {
    return std::make_unique<Win32UiLoop>();
}

}  // namespace qk::platform
