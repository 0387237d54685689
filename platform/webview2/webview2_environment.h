// The engine's environment as the web-view seam's WebViewEnvironment, and the
// single-threaded COM apartment every engine object of the UI thread lives in.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/web_view.h"
#include "platform/webview2/com_ref.h"
#include "platform/webview2/webview2_interfaces.h"

namespace qk::platform::webview2 {

// COM entered on the UI thread as a single-threaded apartment, left again when
// the last engine object that needs it is gone (on that thread).
class ComApartment {
public:
    static std::shared_ptr<ComApartment> enter();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment();

    DWORD thread() const { return thread_; }

private:
    ComApartment(bool entered, DWORD thread) : entered_(entered), thread_(thread) {}
    bool entered_;
    DWORD thread_;
};

std::shared_ptr<WebViewEnvironment> makeEnvironment(ComRef<ICoreWebView2Environment> environment,
                                                    std::shared_ptr<ComApartment> apartment);

}  // namespace qk::platform::webview2
