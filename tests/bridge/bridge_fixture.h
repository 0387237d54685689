// A bridge wired as the plug-in wires it: a real file worker, a main window whose
// posted answers the test delivers, a web view that records answer scripts, a
// host that answers queries as told, and the desktop actions the test hands in.
#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bridge/desktop_actions.h"
#include "bridge/dispatch.h"
#include "bridge/file_worker.h"
#include "tests/support/fake_ui.h"
#include "tests/support/karaoke_log.h"

namespace qktest {

class ScriptedHost final : public vdj::HostServices {
public:
    std::vector<std::string> commands;
    std::string stringAnswer;
    double infoAnswer = 0;
    vdj::Result rc = 0;
    std::function<void()> onCommand;  // what the command does to the desktop

    vdj::Result VDJ_API SendCommand(const char* script) override {
        commands.emplace_back(script);
        if (onCommand) onCommand();
        return rc;
    }
    vdj::Result VDJ_API GetInfo(const char*, double* result) override {
        *result = infoAnswer;
        return rc;
    }
    vdj::Result VDJ_API GetStringInfo(const char*, char* buffer, int size) override {
        std::strncpy(buffer, stringAnswer.c_str(), static_cast<size_t>(size));
        return rc;
    }
    vdj::Result VDJ_API DeclareParameter(void*, int, int, const char*, const char*, float) override { return 0; }
    vdj::Result VDJ_API GetSongBuffer(int, int, short**) override { return vdj::kNotImplemented; }
};

class BridgeRig : public qk::bridge::BridgeHost {
public:
    BridgeRig()
        : alive(std::make_shared<std::atomic<bool>>(true)),
          worker(qk::LogFile::karaoke()),
          bridge(*this, qk::LogFile::karaoke(), alive) {
        ui = std::make_shared<FakeUi>();
        window = std::make_unique<FakeWindow>(*ui);
        ui->window = window.get();
        window->setEvents(&events);
        webView = std::make_shared<FakeWebView>();
        worker.start();
    }
    ~BridgeRig() { worker.stopAndJoin(); }

    vdj::HostServices* hostServices() override { return &host; }
    qk::platform::Window* mainWindow() override { return window.get(); }
    void enqueueFileTask(std::function<void()> task) override { worker.enqueue(std::move(task)); }
    std::optional<qk::Json> runDesktopAction(const std::string& action, const qk::Json& request,
                                             const std::string& id) override {
        if (desktop == nullptr) return std::nullopt;
        return desktop->run(action, request, id, bridge.pickerDir, window.get());
    }

    // Sends one message and returns the scripts it produced before returning.
    std::vector<std::string> send(std::string_view json) {
        const std::size_t before = webView->scripts().size();
        qk::bridge::dispatchBridgeMessage(bridge, webView, json);
        auto all = webView->scripts();
        return {all.begin() + static_cast<std::ptrdiff_t>(before), all.end()};
    }
    // Sends a message answered off the UI thread and pumps until its answer arrives.
    std::string sendAndWait(std::string_view json) {
        const std::size_t before = webView->scripts().size();
        qk::bridge::dispatchBridgeMessage(bridge, webView, json);
        if (!ui->pumpUntil([&] { return webView->scripts().size() > before; })) return "(no answer)";
        return webView->scripts()[before];
    }
    // The answer object inside "window.qkResolve(...);".
    static qk::Json answerOf(const std::string& script) {
        const std::string prefix = "window.qkResolve(";
        if (script.rfind(prefix, 0) != 0 || script.size() < prefix.size() + 2) return nullptr;
        return qk::Json::parse(script.substr(prefix.size(), script.size() - prefix.size() - 2));
    }

    // Delivers posted answers to the recording web view, as the window does.
    struct Events final : qk::platform::WindowEvents {
        void onPosted(int message, std::unique_ptr<qk::platform::PostedRecord> record) override {
            if (message != qk::bridge::kBridgeResponseMessage) return;
            if (auto* r = dynamic_cast<qk::bridge::PostedResponse*>(record.get()))
                qk::bridge::sendBridgeResponse(r->webView.get(), r->response);
        }
    } events;

    KaraokeLogCapture log;  // first: the bridge's log goes here
    ScriptedHost host;
    std::shared_ptr<FakeUi> ui;
    std::unique_ptr<FakeWindow> window;
    std::shared_ptr<FakeWebView> webView;
    qk::bridge::AliveFlag alive;
    qk::bridge::FileWorker worker;
    qk::bridge::Bridge bridge;
    qk::bridge::DesktopActions* desktop = nullptr;  // none: the desktop actions are declined
};

}  // namespace qktest
