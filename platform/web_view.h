// Web-view seam: the browser control that shows the manager page. WebKitGTK here,
// WebView2 on Windows. Every call and every event happens on the UI thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qk::platform {

class Window;
class WebView;

struct WebViewSettings {
    bool scriptsEnabled = true;
    bool webMessagesEnabled = true;
    bool defaultScriptDialogsEnabled = true;
    bool statusBarEnabled = false;
    bool devToolsEnabled = false;
};

// What a web view reports. The backend keeps the handler object alive as long as
// the web view; each handler decides for itself whether it still has work to do.
class WebViewEvents {
public:
    virtual ~WebViewEvents() = default;
    // A message the page posted, as its JSON text (UTF-8).
    virtual void onWebMessage(const std::shared_ptr<WebView>& sender, std::string_view json) = 0;
    // True lets the navigation go on; false cancels it.
    virtual bool onNavigationStarting(std::string_view uri) = 0;
    // The engine never opens a window of its own; the handler decides what else happens.
    virtual void onNewWindowRequested(std::string_view uri) = 0;
    virtual void onNavigationCompleted(const std::shared_ptr<WebView>& sender) = 0;
};

class WebView {
public:
    // The last reference may be dropped on any thread (threads that answer the
    // page hold one); a backend whose objects belong to the UI thread hands the
    // final release to that thread.
    virtual ~WebView() = default;

    // Closes the control (UI thread); afterwards every call does nothing.
    virtual void close() = 0;

    virtual void configure(const WebViewSettings& settings, std::shared_ptr<WebViewEvents> events) = 0;
    // Runs the script (UTF-8) in the page; nothing reports back.
    virtual void executeScript(const std::string& script) = 0;
    // Runs the script and hands its result as JSON text (nothing when there is none).
    virtual void executeScript(const std::string& script,
                               std::function<void(std::optional<std::string> resultJson)> done) = 0;
    virtual void navigate(const std::string& url) = 0;
    virtual void navigateToString(const std::string& html) = 0;
    // Lets the window behind show through wherever the page paints nothing.
    // False when the engine cannot draw a see-through background.
    virtual bool setTransparentBackground() = 0;
    // Fits the control to its window's client area.
    virtual void fitToWindow() = 0;
};

class WebViewEnvironment {
public:
    virtual ~WebViewEnvironment() = default;
    // Creates a web view filling `parent`. Asynchronous: `done` runs later on the
    // UI thread with 0 and the web view, or a failure code and null.
    using WebViewDone = std::function<void(long result, std::shared_ptr<WebView> webView)>;
    virtual void createWebView(Window& parent, WebViewDone done) = 0;
};

}  // namespace qk::platform
