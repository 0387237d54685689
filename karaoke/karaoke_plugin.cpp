#include "karaoke/karaoke_plugin.h"

#include <exception>

#include "karaoke/end_show_marker.h"
#include "karaoke/web_view_host.h"
#include "karaoke/window_placement.h"
#include "kit/author.h"
#include "platform/module_dir.h"
#include "platform/shell.h"

using qk::bridge::Bridge;
using qk::platform::PostedRecord;
using qk::platform::WebView;

namespace {

struct PadButton {
    const char* name;
    const char* shortName;
    const char* pageWord;
};
constexpr PadButton kPadButtons[4] = {
    {"Play Next Singer", "PlayNext", "playnext"},
    {"BG Music Play/Pause", "BGMusic", "bgtoggle"},
    {"BG Music Skip", "BGSkip", "bgskip"},
    {"Audience Screen Toggle", "Audience", "audtoggle"},
};

// The main window's place when none is stored.
constexpr int kDefaultX = 140, kDefaultY = 100, kDefaultWidth = 560, kDefaultHeight = 780;

constexpr char kProbeScript[] =
    "JSON.stringify({secure:!!self.isSecureContext,subtle:!!(self.crypto&&self.crypto.subtle),origin:String("
    "location.origin)})";
constexpr char kFallbackPage[] =
    "<html><body style='background:#14100d;color:#eee;font-family:sans-serif;padding:24px'><h3>QuorvaleKaraoke</h3>"
    "<p>ui\\index.html was not found next to the plugin DLL.</p></body></html>";

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// Web links leave the plug-in for the user's browser; nothing else does.
void openIfWebLink(std::string_view uri) {
    if (startsWith(uri, "http://") || startsWith(uri, "https://"))
        qk::platform::createShell()->openWebLink(std::string(uri));
}

}  // namespace

// What the bridge asks of the plug-in.
class QuorvaleKaraokePlugin::BridgeHostAdapter final : public qk::bridge::BridgeHost {
public:
    explicit BridgeHostAdapter(QuorvaleKaraokePlugin& p) : plugin_(p) {}
    vdj::HostServices* hostServices() override { return plugin_.host; }
    qk::platform::Window* mainWindow() override { return plugin_.mainWnd_.get(); }
    void enqueueFileTask(std::function<void()> task) override { plugin_.enqueueFileTask(std::move(task)); }
    std::optional<qk::Json> runDesktopAction(const std::string& action, const qk::Json& request,
                                             const std::string& id) override {
        return plugin_.desktop_.run(action, request, id, plugin_.bridge_.pickerDir, plugin_.mainWnd_.get());
    }

private:
    QuorvaleKaraokePlugin& plugin_;
};

// The main window's messages.
class QuorvaleKaraokePlugin::MainWindowEvents final : public qk::platform::WindowEvents {
public:
    explicit MainWindowEvents(QuorvaleKaraokePlugin& p) : plugin_(p) {}
    void onClose() override {
        plugin_.log_.logLine("WM_CLOSE          (hiding, not destroying)");
        plugin_.SavePlacement();
        if (plugin_.mainWnd_) plugin_.mainWnd_->hide();
    }
    void onDestroy() override { plugin_.log_.logLine("WM_DESTROY"); }
    void onResize(qk::platform::SizeKind kind) override {
        if (plugin_.mainWebView_) plugin_.mainWebView_->fitToWindow();
        if (kind == qk::platform::SizeKind::Restored || kind == qk::platform::SizeKind::Maximized)
            plugin_.SavePlacement();
    }
    void onMoveSizeEnd() override { plugin_.SavePlacement(); }
    void onHotkey(int id) override {
        if (id != qk::karaoke::kPanicHotkeyId) return;
        plugin_.log_.logLine("panic hotkey — hiding the audience window");
        plugin_.desktop_.HideAudience();
    }
    void onShowChanged(bool shown) override { plugin_.log_.logLine("WM_SHOWWINDOW     show=%d", shown ? 1 : 0); }
    void onPosted(int message, std::unique_ptr<PostedRecord> record) override {
        if (message == qk::bridge::kBridgeResponseMessage) {
            if (auto* r = dynamic_cast<qk::bridge::PostedResponse*>(record.get()))
                qk::bridge::sendBridgeResponse(r->webView.get(), r->response);
        } else if (message == qk::bridge::kBridgeRefocusMessage) {
            auto* w = plugin_.mainWnd_.get();
            if (w != nullptr && w->isVisible() && !w->isForeground()) w->bringToForeground();
        }
    }

private:
    QuorvaleKaraokePlugin& plugin_;
};

// The handlers a web view of this plug-in gets. They hold a share of
// pluginAlive and do nothing once the plug-in is being released.
class QuorvaleKaraokePlugin::PageEvents final : public qk::platform::WebViewEvents {
public:
    PageEvents(QuorvaleKaraokePlugin* p, qk::bridge::AliveFlag alive, qk::LogFile log)
        : plugin_(p), alive_(std::move(alive)), log_(std::move(log)) {}
    void onWebMessage(const std::shared_ptr<WebView>& sender, std::string_view json) override {
        if (!alive_->load()) return;
        qk::bridge::dispatchBridgeMessage(plugin_->bridge_, sender, json);
    }
    bool onNavigationStarting(std::string_view uri) override {
        if (startsWith(uri, "file:") || startsWith(uri, "about:")) return true;
        if (!alive_->load()) return false;
        openIfWebLink(uri);
        log_.logLine("navigation BLOCKED: %.200s", std::string(uri).c_str());
        return false;
    }
    void onNewWindowRequested(std::string_view uri) override {
        if (alive_->load()) openIfWebLink(uri);
    }
    void onNavigationCompleted(const std::shared_ptr<WebView>& sender) override {
        if (!alive_->load() || !sender) return;
        sender->executeScript(kProbeScript, [alive = alive_, log = log_](std::optional<std::string> result) {
            if (alive->load()) log.logLine("env probe        %s", result ? result->c_str() : "(null)");
        });
    }

private:
    QuorvaleKaraokePlugin* plugin_;
    qk::bridge::AliveFlag alive_;
    qk::LogFile log_;
};

QuorvaleKaraokePlugin::QuorvaleKaraokePlugin() : QuorvaleKaraokePlugin(qk::platform::createUiLoop()) {}

QuorvaleKaraokePlugin::QuorvaleKaraokePlugin(std::unique_ptr<qk::platform::UiLoop> ui)
    : log_(qk::LogFile::karaoke()),
      ui_(std::move(ui)),
      bridgeHost_(std::make_unique<BridgeHostAdapter>(*this)),
      windowEvents_(std::make_unique<MainWindowEvents>(*this)),
      pluginAlive_(std::make_shared<std::atomic<bool>>(true)),
      bridge_(*bridgeHost_, log_, pluginAlive_),
      audience_(std::make_unique<qk::karaoke::AudienceWindow>(qk::karaoke::AudienceHost{
          ui_.get(), [this] { return mainWnd_.get(); }, [this] { return environment_; },
          [this](WebView& view) { ConfigureWebView(view); },
          [this] { return qk::platform::moduleDirectory(moduleHandle); }, pluginAlive_, log_})),
      desktop_({[] { return qk::platform::createShell(); }, &qk::platform::listMonitors, audience_.get()}, log_),
      fileWorker_(log_) {}

QuorvaleKaraokePlugin::~QuorvaleKaraokePlugin() = default;

vdj::Result QuorvaleKaraokePlugin::OnLoad() {
    try {
        log_.logLine("===== OnLoad (QuorvaleKaraoke W1b) =====");
        // Without a worker the plug-in still loads; file requests then go unanswered.
        if (!fileWorker_.running()) fileWorker_.start();
        for (int i = 0; i < 4; ++i) {
            if (host != nullptr)
                host->DeclareParameter(&buttonState_[static_cast<size_t>(i)], 0, i + 1, kPadButtons[i].name,
                                       kPadButtons[i].shortName, 0.0f);
        }
    } catch (const std::exception& e) {
        log_.logLine("OnLoad failed: %s", e.what());
    }
    return vdj::kOk;
}

vdj::Result QuorvaleKaraokePlugin::OnGetPluginInfo(vdj::PluginInfo* info) {
    if (info == nullptr) return vdj::kOk;
    info->name = "QuorvaleKaraoke";
    info->author = qk::kKaraokeAuthor;
    info->description = "Karaoke rotation & singer management";
    info->version = "0.9.40";
    info->picture = nullptr;
    info->flags = 0;
    return vdj::kOk;
}

vdj::Result QuorvaleKaraokePlugin::OnParameter(int id) {
    if (id < 1 || id > 4) return vdj::kOk;
    try {
        if (mainWebView_) {
            mainWebView_->executeScript(std::string("window.qkPadCommand && window.qkPadCommand('") +
                                        kPadButtons[id - 1].pageWord + "')");
        } else {
            ShowWindow_();  // the press itself is not passed on
        }
    } catch (const std::exception& e) {
        log_.logLine("pad button %d failed: %s", id, e.what());
    }
    return vdj::kOk;
}

vdj::Result QuorvaleKaraokePlugin::OnGetUserInterface(vdj::PluginInterface* record) {
    try {
        log_.logLine("OnGetUserInterface");
        EnsureWindow();
        if (!mainWnd_ || record == nullptr) {
            log_.logLine("  no window - declining custom interface (E_NOTIMPL)");
            return vdj::kNotImplemented;
        }
        record->type = 2;  // the plug-in supplies its own window
        record->window = mainWnd_->nativeHandle();
        ShowWindow_();
        log_.logLine("  returned hwnd=0x%p to VDJ", record->window);
    } catch (const std::exception& e) {
        log_.logLine("OnGetUserInterface failed: %s", e.what());
        return vdj::kNotImplemented;
    }
    return vdj::kOk;
}

vdj::Result QuorvaleKaraokePlugin::OnStart() {
    try {
        log_.logLine("OnStart");
        ShowWindow_();
    } catch (const std::exception& e) {
        log_.logLine("OnStart failed: %s", e.what());
    }
    return vdj::kOk;
}

vdj::Result QuorvaleKaraokePlugin::OnStop() {
    log_.logLine("OnStop");
    return vdj::kOk;
}

void QuorvaleKaraokePlugin::EnsureWindow() {
    if (mainWnd_) return;
    log_.logLine("EnsureWindow      hInstance(sdk)=0x%p  dllMain=0x%p", moduleHandle, nullptr);
    log_.logLine("module dir (sdk hInstance) = %s", qk::platform::moduleDirectory(moduleHandle).c_str());
    log_.logLine("module dir (DllMain)       = %s",
                 qk::platform::moduleDirectory(reinterpret_cast<const void*>(&qk::karaoke::FindUiPage)).c_str());
    unsigned long error = 0;
    if (ui_) {
        qk::platform::WindowOptions options;
        options.className = "QuorvaleKaraokeHost";
        options.title = "QuorvaleKaraoke";
        options.x = kDefaultX;
        options.y = kDefaultY;
        options.width = kDefaultWidth;
        options.height = kDefaultHeight;
        options.background = 0x14100D;
        mainWnd_ = ui_->createWindow(options, &error);
    }
    if (!mainWnd_) {
        log_.logLine("CreateWindowExW FAILED err=%lu", error);
        return;
    }
    mainWnd_->setEvents(windowEvents_.get());
    restorePlacement();
    log_.logLine("created hwnd=0x%p", mainWnd_->nativeHandle());
    CreateWebView();
}

void QuorvaleKaraokePlugin::ShowWindow_() {
    EnsureWindow();
    if (!mainWnd_) return;
    mainWnd_->show(maximised_);
    // The host may embed the window in one of its own; then it is not ours to raise.
    if (!mainWnd_->isEmbedded()) mainWnd_->bringToForeground();
    // The window seam has no Win32 style word; the log keeps its shape with 0.
    log_.logLine("ShowWindow_       parent=0x%p style=0x%08lX", nullptr, 0ul);
}

void QuorvaleKaraokePlugin::CreateWebView() {
    if (webViewStarted_ || !mainWnd_ || !ui_) return;
    webViewStarted_ = true;
    const std::string version = ui_->webEngineVersion();
    if (!version.empty())
        log_.logLine("WebView2 runtime  %s", version.c_str());
    else
        log_.logLine("WebView2 runtime  NOT FOUND - the UI cannot load (install the Evergreen runtime)");
    const std::string dataFolder = qk::karaoke::WebViewDataFolder();
    log_.logLine("WebView2 udf      %s", dataFolder.c_str());
    const long rc = ui_->createWebViewEnvironment(
        dataFolder, [this, alive = pluginAlive_](long result, std::shared_ptr<qk::platform::WebViewEnvironment> env) {
            if (alive->load()) onEnvironmentReady(result, std::move(env));
        });
    if (rc != 0) log_.logLine("CreateCoreWebView2EnvironmentWithOptions FAILED hr=0x%08lX", static_cast<unsigned long>(rc));
}

void QuorvaleKaraokePlugin::onEnvironmentReady(long result, std::shared_ptr<qk::platform::WebViewEnvironment> env) {
    if (result != 0 || !env) {
        log_.logLine("env creation FAILED hr=0x%08lX", static_cast<unsigned long>(result));
        return;
    }
    environment_ = std::move(env);
    if (!mainWnd_) return;
    environment_->createWebView(*mainWnd_, [this, alive = pluginAlive_](long r, std::shared_ptr<WebView> webView) {
        if (alive->load()) onWebViewReady(r, std::move(webView));
    });
}

void QuorvaleKaraokePlugin::onWebViewReady(long result, std::shared_ptr<WebView> webView) {
    if (result != 0 || !webView) {
        log_.logLine("controller creation FAILED hr=0x%08lX", static_cast<unsigned long>(result));
        return;
    }
    mainWebView_ = std::move(webView);
    log_.logLine("controller ready");
    ConfigureWebView(*mainWebView_);
    mainWebView_->fitToWindow();
    loadManagerPage();
}

void QuorvaleKaraokePlugin::ConfigureWebView(WebView& webView) {
    webView.configure(qk::platform::WebViewSettings{}, std::make_shared<PageEvents>(this, pluginAlive_, log_));
}

void QuorvaleKaraokePlugin::loadManagerPage() {
    const std::string url =
        qk::karaoke::FindUiPage(qk::platform::moduleDirectory(moduleHandle), "index.html", log_);
    if (!url.empty()) {
        log_.logLine("navigating to     %s", url.c_str());
        mainWebView_->navigate(url);
    } else {
        mainWebView_->navigateToString(kFallbackPage);
    }
}

void QuorvaleKaraokePlugin::restorePlacement() {
    maximised_ = false;
    const auto stored = qk::karaoke::loadStoredPlacement();
    if (!stored) return;  // the defaults stand, silently
    maximised_ = stored->showCmd == qk::karaoke::kShowMaximised;
    mainWnd_->setNormalRect({stored->left, stored->top, stored->right, stored->bottom});
    if (!mainWnd_->isOnAnyMonitor()) {
        // The monitor it was on is gone: back to the defaults, not maximised.
        mainWnd_->setNormalRect({kDefaultX, kDefaultY, kDefaultX + kDefaultWidth, kDefaultY + kDefaultHeight});
        maximised_ = false;
    }
    const auto r = mainWnd_->normalRect();
    log_.logLine("restored placement (%ld,%ld,%ld,%ld) maximized=%d", static_cast<long>(r.left),
                 static_cast<long>(r.top), static_cast<long>(r.right), static_cast<long>(r.bottom),
                 maximised_ ? 1 : 0);
}

void QuorvaleKaraokePlugin::SavePlacement() {
    // A plug-in that never opened its window has nothing to keep.
    if (!mainWnd_) return;
    qk::karaoke::PlacementRecord record;
    const auto r = mainWnd_->normalRect();
    record.left = r.left;
    record.top = r.top;
    record.right = r.right;
    record.bottom = r.bottom;
    record.showCmd = mainWnd_->isMaximised() && !mainWnd_->isMinimised() ? qk::karaoke::kShowMaximised
                                                                          : qk::karaoke::kShowNormal;
    qk::karaoke::saveStoredPlacement(record);
}

std::uint32_t QuorvaleKaraokePlugin::Release() {
    try {
        releaseSteps();
    } catch (const std::exception& e) {
        log_.logLine("Release failed: %s", e.what());
    }
    Destroy();
    return 0;
}

void QuorvaleKaraokePlugin::releaseSteps() {
    log_.logLine("Release");
    if (host != nullptr) host->SendCommand("video off");
    qk::karaoke::writeEndShowMarker(bridge_.dataDir, log_);
    pluginAlive_->store(false);
    // Every queued task still runs; with pluginAlive false none of them posts.
    fileWorker_.stopAndJoin();
    // A task that saw pluginAlive just before it fell may have posted: drop those.
    if (mainWnd_) mainWnd_->drainPosted(qk::bridge::kBridgeResponseMessage);
    audience_->closeWebView();
    if (mainWebView_) mainWebView_->close();
    mainWebView_.reset();
    environment_.reset();
    SavePlacement();
    // The panic hotkey is registered on the main window, so it goes first.
    audience_->unregisterHotkey();
    // The events stay attached while the window goes, so that it can say so.
    mainWnd_.reset();
    audience_->destroyWindow();
}
