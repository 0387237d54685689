// One engine control (its controller and its web view) as the seam's WebView.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/web_view.h"
#include "platform/webview2/com_ref.h"
#include "platform/webview2/webview2_environment.h"
#include "platform/webview2/webview2_interfaces.h"

namespace qk::platform::webview2 {

std::shared_ptr<WebView> makeWebView(ComRef<ICoreWebView2Controller> controller, ComRef<ICoreWebView2> webView,
                                     HWND parent, std::shared_ptr<ComApartment> apartment);

}  // namespace qk::platform::webview2
