// The audience window: the audience page full-screen on a monitor the KJ picks,
// above every other window, never taking the focus, on a see-through
// background. While it is shown, the panic hotkey Ctrl+Alt+Shift+A (registered
// on the main window, so it works from any application) hides it again.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "bridge/desktop_actions.h"
#include "bridge/dispatch.h"
#include "kit/log.h"
#include "platform/ui_loop.h"
#include "platform/web_view.h"
#include "platform/window.h"

namespace qk::karaoke {

constexpr int kPanicHotkeyId = 0xA001;
constexpr int kTopmostTimerId = 1;
constexpr unsigned kTopmostPeriodMs = 1000;

// What the audience window needs of the plug-in that owns it. UI thread.
struct AudienceHost {
    platform::UiLoop* ui = nullptr;
    std::function<platform::Window*()> mainWindow;
    std::function<std::shared_ptr<platform::WebViewEnvironment>()> environment;
    // Gives a new web view the settings, handlers and probe of the plug-in's pages.
    std::function<void(platform::WebView&)> configureWebView;
    std::function<std::string()> moduleDir;
    bridge::AliveFlag alive;
    LogFile log;
};

class AudienceWindow final : public bridge::AudienceScreen {
public:
    explicit AudienceWindow(AudienceHost host);
    ~AudienceWindow();
    AudienceWindow(const AudienceWindow&) = delete;
    AudienceWindow& operator=(const AudienceWindow&) = delete;

    void showOnMonitor(int index, const platform::MonitorInfo& monitor) override;
    void hide() override;

    // The plug-in's Release takes these apart in its own order.
    void closeWebView();
    void unregisterHotkey();
    void destroyWindow();

    platform::Window* window() const { return window_.get(); }
    const std::shared_ptr<platform::WebView>& webView() const { return webView_; }
    bool hotkeyRegistered() const { return hotkeyRegistered_; }

private:
    class Events;

    void onWebViewReady(long result, std::shared_ptr<platform::WebView> webView);

    AudienceHost host_;
    std::unique_ptr<Events> events_;
    std::unique_ptr<platform::Window> window_;
    std::shared_ptr<platform::WebView> webView_;
    // A web view was asked for and has not failed: one per window, however
    // often the window is shown before the engine answers.
    bool webViewRequested_ = false;
    bool hotkeyRegistered_ = false;
};

}  // namespace qk::karaoke
