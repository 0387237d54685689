#include "platform/webview2/webview2_environment.h"

#include <utility>

#include "kit/log.h"
#include "platform/webview2/webview2_handlers.h"
#include "platform/webview2/webview2_web_view.h"
#include "platform/window.h"

namespace qk::platform::webview2 {

std::shared_ptr<ComApartment> ComApartment::enter() {
    // Every success (S_OK, or S_FALSE when the thread was already in this
    // apartment) counts once and is undone once; a thread already in another
    // mode is used as it is.
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return std::shared_ptr<ComApartment>(new ComApartment(SUCCEEDED(hr), ::GetCurrentThreadId()));
}

ComApartment::~ComApartment() {
    if (entered_ && ::GetCurrentThreadId() == thread_) ::CoUninitialize();
}

namespace {

class Wv2Environment final : public WebViewEnvironment {
public:
    Wv2Environment(ComRef<ICoreWebView2Environment> environment, std::shared_ptr<ComApartment> apartment)
        : environment_(std::move(environment)), apartment_(std::move(apartment)) {}

    void createWebView(Window& parent, WebViewDone done) override {
        const HWND hwnd = static_cast<HWND>(parent.nativeHandle());
        auto shared = std::make_shared<WebViewDone>(std::move(done));
        auto handler = ControllerCompletedHandler::make(
            [shared, hwnd, apartment = apartment_](HRESULT result, ICoreWebView2Controller* controller) -> HRESULT {
                if (FAILED(result) || controller == nullptr) {
                    (*shared)(FAILED(result) ? result : E_POINTER, nullptr);
                    return S_OK;
                }
                ComRef<ICoreWebView2Controller> kept(controller);
                ComRef<ICoreWebView2> webView;
                const HRESULT got = kept->get_CoreWebView2(webView.put());
                if (FAILED(got) || !webView) {
                    LogFile::karaoke().logLine("get_CoreWebView2 FAILED");
                    kept->Close();
                    (*shared)(FAILED(got) ? got : E_NOINTERFACE, nullptr);
                    return S_OK;
                }
                kept->put_IsVisible(TRUE);
                (*shared)(0, makeWebView(std::move(kept), std::move(webView), hwnd, apartment));
                return S_OK;
            });
        const HRESULT hr = environment_->CreateCoreWebView2Controller(hwnd, handler.get());
        if (FAILED(hr)) {
            // The engine will not call back: the caller hears of it now.
            handler->disarm();
            (*shared)(hr, nullptr);
        }
    }

private:
    ComRef<ICoreWebView2Environment> environment_;
    std::shared_ptr<ComApartment> apartment_;
};

}  // namespace

std::shared_ptr<WebViewEnvironment> makeEnvironment(ComRef<ICoreWebView2Environment> environment,
                                                    std::shared_ptr<ComApartment> apartment) {
    return std::make_shared<Wv2Environment>(std::move(environment), std::move(apartment));
}

}  // namespace qk::platform::webview2
