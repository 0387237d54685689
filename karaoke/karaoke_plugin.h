// QuorvaleKaraokePlugin: the main plug-in. It opens a window showing the karaoke
// manager page, answers the page's requests, passes the four pad buttons on to
// the page, and leaves the end-show marker when the host unloads it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "bridge/desktop_actions.h"
#include "bridge/dispatch.h"
#include "bridge/file_worker.h"
#include "karaoke/audience_window.h"
#include "kit/log.h"
#include "kit/vdj_plugin.h"
#include "platform/ui_loop.h"
#include "platform/web_view.h"
#include "platform/window.h"

class QuorvaleKaraokePlugin final : public vdj::StartStopPlugin {
public:
    // The platform's UI loop (none in a build without a windowing toolkit).
    QuorvaleKaraokePlugin();
    // With the UI loop the caller chose.
    explicit QuorvaleKaraokePlugin(std::unique_ptr<qk::platform::UiLoop> ui);

    vdj::Result VDJ_API OnLoad() override;
    vdj::Result VDJ_API OnGetPluginInfo(vdj::PluginInfo* info) override;
    std::uint32_t VDJ_API Release() override;
    void VDJ_API Destroy() override { delete this; }
    vdj::Result VDJ_API OnParameter(int id) override;
    vdj::Result VDJ_API OnGetUserInterface(vdj::PluginInterface* record) override;
    vdj::Result VDJ_API OnStart() override;
    vdj::Result VDJ_API OnStop() override;

    // Called by the bridge dispatch on the UI thread.
    void enqueueFileTask(std::function<void()> task) { fileWorker_.enqueue(std::move(task)); }

    // The main window's routines (UI thread).
    void EnsureWindow();
    void ShowWindow_();

    // For the page's requests and for tests: the bridge state and the main web view.
    qk::bridge::Bridge& bridge() { return bridge_; }
    const std::shared_ptr<qk::platform::WebView>& mainWebView() const { return mainWebView_; }
    qk::platform::Window* mainWindow() const { return mainWnd_.get(); }
    const qk::karaoke::AudienceWindow& audience() const { return *audience_; }

private:
    ~QuorvaleKaraokePlugin();

    class BridgeHostAdapter;
    class MainWindowEvents;
    class PageEvents;

    void CreateWebView();
    void onEnvironmentReady(long result, std::shared_ptr<qk::platform::WebViewEnvironment> environment);
    void onWebViewReady(long result, std::shared_ptr<qk::platform::WebView> webView);
    // The settings, handlers and probe every web view of this plug-in gets.
    void ConfigureWebView(qk::platform::WebView& webView);
    void loadManagerPage();
    void restorePlacement();
    void SavePlacement();
    void releaseSteps();

    qk::LogFile log_;
    std::unique_ptr<qk::platform::UiLoop> ui_;
    std::unique_ptr<BridgeHostAdapter> bridgeHost_;
    std::unique_ptr<MainWindowEvents> windowEvents_;
    qk::bridge::AliveFlag pluginAlive_;
    qk::bridge::Bridge bridge_;  // dataDir, pickerDir, writeRoots
    std::unique_ptr<qk::karaoke::AudienceWindow> audience_;
    qk::bridge::DesktopActions desktop_;
    qk::bridge::FileWorker fileWorker_;

    std::unique_ptr<qk::platform::Window> mainWnd_;
    std::shared_ptr<qk::platform::WebViewEnvironment> environment_;
    std::shared_ptr<qk::platform::WebView> mainWebView_;
    bool webViewStarted_ = false;
    bool maximised_ = false;
    std::array<std::int32_t, 4> buttonState_{};
};
