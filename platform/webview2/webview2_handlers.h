// The handler objects the engine calls back: one COM object per completion or
// event, answering its own interface identifier, counted from any thread, and
// forwarding Invoke to a function. The engine holds the object as long as it
// may call it; a handler that must not run any more is disarmed, not freed.
#pragma once

#include <atomic>
#include <functional>
#include <utility>

#include "platform/webview2/com_ref.h"
#include "platform/webview2/webview2_interfaces.h"

namespace qk::platform::webview2 {

template <class Interface, const IID& kIid, class... Args>
class Handler final : public Interface {
public:
    using Function = std::function<HRESULT(Args...)>;

    static ComRef<Handler> make(Function fn) { return ComRef<Handler>::adopt(new Handler(std::move(fn))); }

    // After this, Invoke does nothing: for a call whose start failed, so that
    // its completion cannot come after the caller was told it never will.
    void disarm() { fn_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (::IsEqualGUID(riid, IID_IUnknown) || ::IsEqualGUID(riid, kIid)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Invoke(Args... args) override {
        if (!fn_) return S_OK;
        // Nothing thrown may cross into the engine.
        try {
            return fn_(args...);
        } catch (...) {
            return S_OK;
        }
    }

private:
    explicit Handler(Function fn) : fn_(std::move(fn)) {}
    ~Handler() = default;

    std::atomic<ULONG> refs_{1};
    Function fn_;
};

using EnvironmentCompletedHandler = Handler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                                            kIidEnvironmentCompletedHandler, HRESULT, ICoreWebView2Environment*>;
using ControllerCompletedHandler = Handler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                                           kIidControllerCompletedHandler, HRESULT, ICoreWebView2Controller*>;
using WebMessageReceivedHandler = Handler<ICoreWebView2WebMessageReceivedEventHandler, kIidWebMessageReceivedHandler,
                                          ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs*>;
using NavigationStartingHandler = Handler<ICoreWebView2NavigationStartingEventHandler, kIidNavigationStartingHandler,
                                          ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs*>;
using NavigationCompletedHandler = Handler<ICoreWebView2NavigationCompletedEventHandler, kIidNavigationCompletedHandler,
                                           ICoreWebView2*, ICoreWebView2NavigationCompletedEventArgs*>;
using NewWindowRequestedHandler = Handler<ICoreWebView2NewWindowRequestedEventHandler, kIidNewWindowRequestedHandler,
                                          ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs*>;
using ExecuteScriptCompletedHandler =
    Handler<ICoreWebView2ExecuteScriptCompletedHandler, kIidExecuteScriptCompletedHandler, HRESULT, LPCWSTR>;

}  // namespace qk::platform::webview2
