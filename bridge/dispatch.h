// The page's requests: parsed, routed to the thread that runs them, and answered
// on the web view that sent them.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/file_service.h"
#include "kit/json_access.h"
#include "kit/log.h"
#include "kit/vdj_plugin.h"
#include "platform/ui_loop.h"
#include "platform/web_view.h"
#include "platform/window.h"

namespace qk::bridge {

// Message numbers of the records other threads post to the main window.
inline constexpr int kBridgeResponseMessage = 0x8001;  // carries a PostedResponse
inline constexpr int kBridgeRefocusMessage = 0x8002;   // no record

// An answer computed off the UI thread, on its way to the web view that asked.
struct PostedResponse final : platform::PostedRecord {
    PostedResponse(std::shared_ptr<platform::WebView> w, Json r) : webView(std::move(w)), response(std::move(r)) {}
    std::shared_ptr<platform::WebView> webView;
    Json response;
};

using AliveFlag = std::shared_ptr<std::atomic<bool>>;

// What the bridge needs from the plug-in that owns it. UI thread only.
class BridgeHost {
public:
    virtual vdj::HostServices* hostServices() = 0;
    // The main window; null until it is created.
    virtual platform::Window* mainWindow() = 0;
    virtual void enqueueFileTask(std::function<void()> task) = 0;
    // "openurl", "displays", "audience_show", "audience_hide", "pick_file",
    // "pick_folder" and "sha256": the answer, or nothing when this build does not
    // offer the action (the page then gets the not-implemented answer).
    virtual std::optional<Json> runDesktopAction(const std::string& action, const Json& request,
                                                 const std::string& id) = 0;

protected:
    ~BridgeHost() = default;
};

// The bridge's state, owned by the plug-in.
class Bridge {
public:
    Bridge(BridgeHost& host, LogFile log, AliveFlag alive)
        : host_(host), log_(std::move(log)), alive_(std::move(alive)), files_(writeRoots, log_) {}

    BridgeHost& host() { return host_; }
    const LogFile& log() const { return log_; }
    const AliveFlag& alive() const { return alive_; }
    FileService& files() { return files_; }

    WriteRoots writeRoots;
    std::string dataDir;    // as the page sent it; UI thread
    std::string pickerDir;  // as the page sent it; UI thread

private:
    BridgeHost& host_;
    LogFile log_;
    AliveFlag alive_;
    FileService files_;  // file worker only
};

// One message from the page (its JSON text) sent by `sender`. UI thread.
void dispatchBridgeMessage(Bridge& bridge, const std::shared_ptr<platform::WebView>& sender,
                           std::string_view messageJson);

// Runs "window.qkResolve(<answer>);" on the web view; a null web view gets nothing.
void sendBridgeResponse(platform::WebView* webView, const Json& response);

// Hands an answer computed off the UI thread to the window, unless the plug-in is
// being released; an answer that cannot be posted is dropped.
void postBridgeResponse(const AliveFlag& alive, const std::shared_ptr<platform::PostTarget>& target,
                        std::shared_ptr<platform::WebView> webView, Json response);

}  // namespace qk::bridge
