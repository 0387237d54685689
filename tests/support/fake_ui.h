// Doubles of the UI seams: a UI loop the test pumps, windows whose posted
// records wait until the test delivers them, and a web view that records every
// script it is asked to run.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui_loop.h"
#include "platform/web_view.h"
#include "platform/window.h"

namespace qktest {

class FakeWebView final : public qk::platform::WebView, public std::enable_shared_from_this<FakeWebView> {
public:
    void close() override { closed = true; }
    void configure(const qk::platform::WebViewSettings& s, std::shared_ptr<qk::platform::WebViewEvents> e) override {
        settings = s;
        events = std::move(e);
    }
    void executeScript(const std::string& script) override {
        std::lock_guard lock(mutex_);
        scripts_.push_back(script);
    }
    void executeScript(const std::string& script, std::function<void(std::optional<std::string>)> done) override {
        executeScript(script);
        if (done) done(std::string("{}"));
    }
    void navigate(const std::string& url) override { navigations.push_back(url); }
    void navigateToString(const std::string& html) override { navigations.push_back("html:" + html); }
    bool setTransparentBackground() override {
        transparent = true;
        return true;
    }
    void fitToWindow() override {}

    // The page posting a message (UI thread).
    void postFromPage(std::string_view json) {
        if (events) events->onWebMessage(shared_from_this(), json);
    }
    std::vector<std::string> scripts() const {
        std::lock_guard lock(mutex_);
        return scripts_;
    }

    bool closed = false;
    bool transparent = false;
    qk::platform::WebViewSettings settings;
    std::shared_ptr<qk::platform::WebViewEvents> events;
    std::vector<std::string> navigations;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> scripts_;
};

// Posted records wait here until the test pumps them to the window's events.
class FakePostTarget final : public qk::platform::PostTarget {
public:
    bool post(int message, std::unique_ptr<qk::platform::PostedRecord> record) override {
        std::lock_guard lock(mutex_);
        if (closed_) return false;
        queue_.emplace_back(message, std::move(record));
        return true;
    }
    using Entry = std::pair<int, std::unique_ptr<qk::platform::PostedRecord>>;
    std::deque<Entry> takeAll() {
        std::lock_guard lock(mutex_);
        return std::exchange(queue_, {});
    }
    std::vector<std::unique_ptr<qk::platform::PostedRecord>> take(int message) {
        std::lock_guard lock(mutex_);
        std::vector<std::unique_ptr<qk::platform::PostedRecord>> out;
        for (auto it = queue_.begin(); it != queue_.end();) {
            if (it->first == message) {
                out.push_back(std::move(it->second));
                it = queue_.erase(it);
            } else {
                ++it;
            }
        }
        return out;
    }
    std::size_t pending() const {
        std::lock_guard lock(mutex_);
        return queue_.size();
    }
    void close() {
        std::deque<Entry> dropped;
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
            dropped.swap(queue_);
        }
    }

private:
    mutable std::mutex mutex_;
    std::deque<Entry> queue_;
    bool closed_ = false;
};

struct FakeUi;

class FakeWindow final : public qk::platform::Window {
public:
    explicit FakeWindow(FakeUi& ui) : ui_(ui) {}
    ~FakeWindow() override;
    void* nativeHandle() const override { return const_cast<FakeWindow*>(this); }
    void setEvents(qk::platform::WindowEvents* e) override { events = e; }
    void show(bool max) override {
        visible = true;
        shownMaximised = max;
        ++showCount;
    }
    void hide() override { visible = false; }
    bool isVisible() const override { return visible; }
    bool isEmbedded() const override { return false; }
    bool isForeground() const override { return foreground; }
    void bringToForeground() override { foreground = true; }
    qk::platform::WindowRect normalRect() const override { return rect; }
    void setNormalRect(const qk::platform::WindowRect& r) override { rect = r; }
    bool isMaximised() const override { return maximised; }
    bool isMinimised() const override { return minimised; }
    bool isOnAnyMonitor() const override { return onMonitor(rect); }
    void showWithoutFocus() override {
        visible = true;
        ++showCount;
    }
    void placeOnTop(const qk::platform::WindowRect& r) override {
        rect = r;
        ++placedOnTop;
    }
    void keepOnTop() override { ++keptOnTop; }
    void startTimer(int id, unsigned periodMs) override { timers[id] = periodMs; }
    void stopTimer(int id) override { timers.erase(id); }
    bool registerHotkey(int id, unsigned modifiers, unsigned key) override {
        if (hotkeyTaken) return false;
        hotkeys[id] = {modifiers, key};
        return true;
    }
    void unregisterHotkey(int id) override { hotkeys.erase(id); }
    std::shared_ptr<qk::platform::PostTarget> postTarget() override { return target; }
    std::vector<std::unique_ptr<qk::platform::PostedRecord>> drainPosted(int message) override {
        return target->take(message);
    }
    // Delivers what was posted, as the UI loop would.
    void deliverPosted() {
        for (auto& [message, record] : target->takeAll())
            if (events != nullptr) events->onPosted(message, std::move(record));
    }

    qk::platform::WindowEvents* events = nullptr;
    bool visible = false, foreground = false, shownMaximised = false;
    bool maximised = false, minimised = false;
    qk::platform::WindowRect rect;
    // The desktop: one 1920x1080 monitor unless a test says otherwise.
    std::function<bool(const qk::platform::WindowRect&)> onMonitor = [](const qk::platform::WindowRect& r) {
        return r.right > 0 && r.bottom > 0 && r.left < 1920 && r.top < 1080;
    };
    int showCount = 0;
    bool overlay = false;  // made with WindowOptions::overlay
    int placedOnTop = 0, keptOnTop = 0;
    std::map<int, unsigned> timers;                          // id -> period
    std::map<int, std::pair<unsigned, unsigned>> hotkeys;    // id -> modifiers, key
    bool hotkeyTaken = false;                                // another program holds every hotkey
    std::shared_ptr<FakePostTarget> target = std::make_shared<FakePostTarget>();

private:
    FakeUi& ui_;
};

// Shared by the loop and the test, so the test keeps its view after Release.
struct FakeUi {
    bool refuseWindows = false;
    std::string engineVersion = "fake 1.0";
    std::vector<std::function<void()>> completions;  // engine work waiting for the loop
    FakeWindow* window = nullptr;                    // the live main window, if any
    FakeWindow* audience = nullptr;                  // the live overlay window, if any
    int windowsCreated = 0;
    std::shared_ptr<FakeWebView> webView;            // the main window's web view
    std::shared_ptr<FakeWebView> audienceWebView;    // the overlay window's web view
    int webViewsCreated = 0;
    std::shared_ptr<FakePostTarget> lastTarget;      // survives the window

    // One turn of the loop: engine completions, then posted records.
    void pump() {
        auto now = std::exchange(completions, {});
        for (auto& c : now) c();
        if (window != nullptr) window->deliverPosted();
    }
    // Pumps until the condition holds or ten seconds pass.
    template <class Condition>
    bool pumpUntil(Condition done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            pump();
            if (done()) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

inline FakeWindow::~FakeWindow() {
    if (events != nullptr) events->onDestroy();  // as the real windows do
    target->close();
    if (ui_.window == this) ui_.window = nullptr;
    if (ui_.audience == this) ui_.audience = nullptr;
}

// Pending completions live in FakeUi itself, so they point at it plainly.
class FakeEnvironment final : public qk::platform::WebViewEnvironment {
public:
    explicit FakeEnvironment(FakeUi* ui) : ui_(ui) {}
    void createWebView(qk::platform::Window& parent, WebViewDone done) override {
        const bool forOverlay = static_cast<FakeWindow&>(parent).overlay;
        ui_->completions.push_back([ui = ui_, forOverlay, done = std::move(done)] {
            auto view = std::make_shared<FakeWebView>();
            (forOverlay ? ui->audienceWebView : ui->webView) = view;
            ++ui->webViewsCreated;
            done(0, view);
        });
    }

private:
    FakeUi* ui_;
};

class FakeUiLoop final : public qk::platform::UiLoop {
public:
    explicit FakeUiLoop(std::shared_ptr<FakeUi> ui) : ui_(std::move(ui)) {}
    std::unique_ptr<qk::platform::Window> createWindow(const qk::platform::WindowOptions& options,
                                                       unsigned long* error) override {
        if (ui_->refuseWindows) {
            *error = 1400;
            return nullptr;
        }
        auto w = std::make_unique<FakeWindow>(*ui_);
        w->rect = {options.x, options.y, options.x + options.width, options.y + options.height};
        w->overlay = options.overlay;
        (options.overlay ? ui_->audience : ui_->window) = w.get();
        if (!options.overlay) ui_->lastTarget = w->target;
        ++ui_->windowsCreated;
        return w;
    }
    std::string webEngineVersion() override { return ui_->engineVersion; }
    long createWebViewEnvironment(const std::string&, EnvironmentDone done) override {
        ui_->completions.push_back([ui = ui_.get(), done = std::move(done)] {
            done(0, std::make_shared<FakeEnvironment>(ui));
        });
        return 0;
    }

private:
    std::shared_ptr<FakeUi> ui_;
};

}  // namespace qktest
