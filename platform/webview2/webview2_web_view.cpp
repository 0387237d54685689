#include "platform/webview2/webview2_web_view.h"

#include <string>
#include <utility>

#include "platform/webview2/webview2_handlers.h"
#include "platform/win32/wide_path.h"

namespace qk::platform::webview2 {
namespace {

class Wv2WebView;

// What the event handlers of one control reach. The engine holds the handlers
// (and so this) for as long as it likes; once the control is closed they find
// no events here and do nothing.
struct ViewCore {
    std::weak_ptr<Wv2WebView> self;
    std::shared_ptr<WebViewEvents> events;
};

class Wv2WebView final : public WebView, public std::enable_shared_from_this<Wv2WebView> {
public:
    Wv2WebView(ComRef<ICoreWebView2Controller> controller, ComRef<ICoreWebView2> webView, HWND parent,
               std::shared_ptr<ComApartment> apartment)
        : controller_(std::move(controller)),
          webView_(std::move(webView)),
          parent_(parent),
          apartment_(std::move(apartment)),
          core_(std::make_shared<ViewCore>()) {}

    ~Wv2WebView() override {
        // The engine's objects belong to the UI thread. The plug-in closes its
        // controls there before the last share can go elsewhere; a share that
        // still holds an open control on another thread leaves it to the process
        // rather than touch it from the wrong apartment.
        if (apartment_ && ::GetCurrentThreadId() == apartment_->thread()) {
            close();
        } else if (!closed_) {
            (void)controller_.detach();
            (void)webView_.detach();
        }
    }

    void attach() { core_->self = weak_from_this(); }

    void close() override {
        if (closed_) return;
        closed_ = true;
        core_->events.reset();
        controller_->Close();
        webView_.reset();
        controller_.reset();
    }

    void configure(const WebViewSettings& s, std::shared_ptr<WebViewEvents> events) override {
        if (closed_) return;
        ComRef<ICoreWebView2Settings> settings;
        if (SUCCEEDED(webView_->get_Settings(settings.put())) && settings) {
            settings->put_IsScriptEnabled(s.scriptsEnabled);
            settings->put_IsWebMessageEnabled(s.webMessagesEnabled);
            settings->put_AreDefaultScriptDialogsEnabled(s.defaultScriptDialogsEnabled);
            settings->put_IsStatusBarEnabled(s.statusBarEnabled);
            settings->put_AreDevToolsEnabled(s.devToolsEnabled);
        }
        core_->events = std::move(events);
        if (!registered_) {
            registered_ = true;
            registerHandlers();
        }
    }

    void executeScript(const std::string& script) override {
        if (closed_) return;
        webView_->ExecuteScript(win32::widen(script).c_str(), nullptr);
    }

    void executeScript(const std::string& script,
                       std::function<void(std::optional<std::string> resultJson)> done) override {
        if (closed_) return;
        if (!done) return executeScript(script);
        auto shared = std::make_shared<std::function<void(std::optional<std::string>)>>(std::move(done));
        auto handler = ExecuteScriptCompletedHandler::make([shared](HRESULT, LPCWSTR json) -> HRESULT {
            std::optional<std::string> result;
            if (json != nullptr) result = win32::narrow(json);
            (*shared)(std::move(result));
            return S_OK;
        });
        if (FAILED(webView_->ExecuteScript(win32::widen(script).c_str(), handler.get()))) {
            handler->disarm();
            (*shared)(std::nullopt);
        }
    }

    void navigate(const std::string& url) override {
        if (!closed_) webView_->Navigate(win32::widen(url).c_str());
    }
    void navigateToString(const std::string& html) override {
        if (!closed_) webView_->NavigateToString(win32::widen(html).c_str());
    }

    bool setTransparentBackground() override {
        if (closed_) return false;
        ComRef<ICoreWebView2Controller2> controller2;
        if (FAILED(controller_->QueryInterface(kIidController2, reinterpret_cast<void**>(controller2.put()))) ||
            !controller2)
            return false;
        return SUCCEEDED(controller2->put_DefaultBackgroundColor(CoreWebView2Color{0, 0, 0, 0}));
    }

    void fitToWindow() override {
        if (closed_) return;
        RECT client{};
        if (::GetClientRect(parent_, &client)) controller_->put_Bounds(client);
    }

private:
    // The four events, in the order the plug-in's logic expects them set up:
    // web messages, navigation starting, new windows, navigation completed.
    void registerHandlers() {
        EventRegistrationToken token{};
        auto message = WebMessageReceivedHandler::make(
            [core = core_](ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs* args) -> HRESULT {
                std::shared_ptr<WebViewEvents> events = core->events;
                auto sender = core->self.lock();
                if (!events || !sender || args == nullptr) return S_OK;
                CoTaskString json;
                if (FAILED(args->get_WebMessageAsJson(json.put())) || json.empty()) return S_OK;
                events->onWebMessage(sender, json.utf8());
                return S_OK;
            });
        webView_->add_WebMessageReceived(message.get(), &token);

        auto starting = NavigationStartingHandler::make(
            [core = core_](ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) -> HRESULT {
                std::shared_ptr<WebViewEvents> events = core->events;
                if (!events || args == nullptr) return S_OK;
                CoTaskString uri;
                if (FAILED(args->get_Uri(uri.put())) || uri.empty()) return S_OK;  // allowed
                bool allow = false;
                try {
                    allow = events->onNavigationStarting(uri.utf8());
                } catch (...) {
                    allow = false;
                }
                if (!allow) args->put_Cancel(TRUE);
                return S_OK;
            });
        webView_->add_NavigationStarting(starting.get(), &token);

        auto newWindow = NewWindowRequestedHandler::make(
            [core = core_](ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs* args) -> HRESULT {
                if (args == nullptr) return S_OK;
                // The engine never opens a window of its own, whatever follows.
                args->put_Handled(TRUE);
                std::shared_ptr<WebViewEvents> events = core->events;
                if (!events) return S_OK;
                CoTaskString uri;
                if (FAILED(args->get_Uri(uri.put())) || uri.empty()) return S_OK;
                events->onNewWindowRequested(uri.utf8());
                return S_OK;
            });
        webView_->add_NewWindowRequested(newWindow.get(), &token);

        auto completed = NavigationCompletedHandler::make(
            [core = core_](ICoreWebView2*, ICoreWebView2NavigationCompletedEventArgs*) -> HRESULT {
                std::shared_ptr<WebViewEvents> events = core->events;
                auto sender = core->self.lock();
                if (events && sender) events->onNavigationCompleted(sender);
                return S_OK;
            });
        webView_->add_NavigationCompleted(completed.get(), &token);
    }

    ComRef<ICoreWebView2Controller> controller_;
    ComRef<ICoreWebView2> webView_;
    HWND parent_;
    std::shared_ptr<ComApartment> apartment_;
    std::shared_ptr<ViewCore> core_;
    bool closed_ = false;
    bool registered_ = false;
};

}  // namespace

std::shared_ptr<WebView> makeWebView(ComRef<ICoreWebView2Controller> controller, ComRef<ICoreWebView2> webView,
                                     HWND parent, std::shared_ptr<ComApartment> apartment) {
    auto view = std::make_shared<Wv2WebView>(std::move(controller), std::move(webView), parent, std::move(apartment));
    view->attach();
    return view;
}

}  // namespace qk::platform::webview2
