#include "karaoke/audience_window.h"

#include "karaoke/web_view_host.h"

namespace qk::karaoke {

// The audience window's own events: it only ever hides, keeps itself on top and
// keeps its page fitted.
class AudienceWindow::Events final : public platform::WindowEvents {
public:
    explicit Events(AudienceWindow& owner) : owner_(owner) {}
    void onClose() override {
        // Hidden only; the timer and the hotkey stay until the page hides it.
        if (owner_.window_) owner_.window_->hide();
    }
    void onResize(platform::SizeKind) override {
        if (owner_.webView_) owner_.webView_->fitToWindow();
    }
    void onTimer(int id) override {
        if (id == kTopmostTimerId && owner_.window_ && owner_.window_->isVisible()) owner_.window_->keepOnTop();
    }
    void onPosted(int, std::unique_ptr<platform::PostedRecord>) override {}

private:
    AudienceWindow& owner_;
};

AudienceWindow::AudienceWindow(AudienceHost host) : host_(std::move(host)), events_(std::make_unique<Events>(*this)) {}

AudienceWindow::~AudienceWindow() {
    closeWebView();
    unregisterHotkey();
    destroyWindow();
}

void AudienceWindow::showOnMonitor(int index, const platform::MonitorInfo& monitor) {
    const platform::WindowRect area{monitor.left, monitor.top, monitor.right, monitor.bottom};
    if (!window_) {
        unsigned long error = 0;
        if (host_.ui != nullptr) {
            platform::WindowOptions options;
            options.className = "QuorvaleKaraokeAudience";
            options.title = "QuorvaleKaraoke Audience";
            options.x = area.left;
            options.y = area.top;
            options.width = area.right - area.left;
            options.height = area.bottom - area.top;
            options.overlay = true;
            window_ = host_.ui->createWindow(options, &error);
        }
        if (!window_) {
            host_.log.logLine("audience CreateWindowExW FAILED err=%lu", error);
            return;
        }
        window_->setEvents(events_.get());
        host_.log.logLine("audience window created on display %d (%ldx%ld)", index,
                          static_cast<long>(area.right - area.left), static_cast<long>(area.bottom - area.top));
    }
    // An existing window moves to the monitor chosen now.
    window_->placeOnTop(area);

    std::shared_ptr<platform::WebViewEnvironment> environment =
        host_.environment ? host_.environment() : nullptr;
    if (!webViewRequested_ && environment) {
        webViewRequested_ = true;
        environment->createWebView(*window_, [this, alive = host_.alive](long result,
                                                                       std::shared_ptr<platform::WebView> view) {
            if (alive->load()) onWebViewReady(result, std::move(view));
        });
    }
    // Without an engine yet the window stays empty; a later show fills it.

    window_->showWithoutFocus();
    window_->startTimer(kTopmostTimerId, kTopmostPeriodMs);

    platform::Window* main = host_.mainWindow ? host_.mainWindow() : nullptr;
    if (main != nullptr && !hotkeyRegistered_) {
        hotkeyRegistered_ = main->registerHotkey(
            kPanicHotkeyId, platform::kHotkeyControl | platform::kHotkeyAlt | platform::kHotkeyShift, 'A');
        host_.log.logLine("audience shown; panic hotkey Ctrl+Alt+Shift+A registered=%d", hotkeyRegistered_ ? 1 : 0);
    }
}

void AudienceWindow::onWebViewReady(long result, std::shared_ptr<platform::WebView> view) {
    if (result != 0 || !view) {
        webViewRequested_ = false;  // the next show asks again
        host_.log.logLine("audience controller FAILED hr=0x%08lX", static_cast<unsigned long>(result));
        return;
    }
    // The window may have been taken down while the engine worked.
    if (!window_) {
        view->close();
        return;
    }
    if (webView_) webView_->close();
    webView_ = std::move(view);
    if (host_.configureWebView) host_.configureWebView(*webView_);
    if (!webView_->setTransparentBackground())
        host_.log.logLine("audience: ICoreWebView2Controller2 unavailable (page may render white)");
    webView_->fitToWindow();
    const std::string url = FindUiPage(host_.moduleDir ? host_.moduleDir() : std::string(), "audience.html", host_.log);
    if (!url.empty()) {
        host_.log.logLine("audience navigating to %s", url.c_str());
        webView_->navigate(url);
    } else {
        host_.log.logLine("audience: ui\\audience.html NOT FOUND");
    }
}

void AudienceWindow::hide() {
    if (window_) {
        window_->stopTimer(kTopmostTimerId);
        window_->hide();
    }
    unregisterHotkey();
}

void AudienceWindow::closeWebView() {
    if (webView_) webView_->close();
    webView_.reset();
}

void AudienceWindow::unregisterHotkey() {
    if (!hotkeyRegistered_) return;
    if (platform::Window* main = host_.mainWindow ? host_.mainWindow() : nullptr)
        main->unregisterHotkey(kPanicHotkeyId);
    hotkeyRegistered_ = false;
}

void AudienceWindow::destroyWindow() {
    if (!window_) return;
    window_->setEvents(nullptr);
    window_.reset();
}

}  // namespace qk::karaoke
