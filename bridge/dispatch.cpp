#include "bridge/dispatch.h"

#include <cstdio>
#include <exception>
#include <thread>

#include "bridge/cloud_http.h"
#include "bridge/file_service.h"
#include "bridge/protocol.h"
#include "kit/text.h"

namespace qk::bridge {

namespace {

using platform::WebView;

// The first 200 UTF-16 units of the message, as the log line shows it.
std::string logExcerpt(std::string_view text) {
    std::u16string wide = utf8ToWide(text);
    if (wide.size() > 200) wide.resize(200);
    return wideToUtf8(wide);
}

bool isFileAction(const std::string& a) {
    return a == "readfile" || a == "writefile" || a == "statfile" || a == "listdir" || a == "mkdir" ||
           a == "deletefile" || a == "drives";
}

bool isDesktopAction(const std::string& a) {
    return a == "openurl" || a == "displays" || a == "audience_show" || a == "audience_hide" ||
           a == "pick_file" || a == "pick_folder" || a == "sha256";
}

Json notImplemented(Bridge& bridge, const std::string& action, const std::string& id) {
    bridge.log().logLine("bridge: unimplemented action '%s'", action.c_str());
    return makeAnswer(id, -1, "(" + action + " not implemented on Windows yet)");
}

Json sendCommand(Bridge& bridge, const Json& request, const std::string& id) {
    const std::string script = stringMember(request, "script");
    const bool yield = boolMember(request, "yieldFocus").value_or(false);
    platform::Window* window = bridge.host().mainWindow();
    // Decided before the command runs: a command that brings the host to the front
    // must not keep the manager window from taking the foreground back.
    const bool refocus = window != nullptr && !yield && window->isForeground();
    vdj::HostServices* host = bridge.host().hostServices();
    const int rc = host != nullptr ? host->SendCommand(script.c_str()) : -1;
    if (refocus) window->postTarget()->post(kBridgeRefocusMessage, nullptr);
    return makeAnswer(id, rc, "(command sent)");
}

Json getInfo(Bridge& bridge, const Json& request, const std::string& id) {
    const std::string script = stringMember(request, "script");
    double value = 0.0;
    vdj::HostServices* host = bridge.host().hostServices();
    const int rc = host != nullptr ? host->GetInfo(script.c_str(), &value) : -1;
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return makeAnswer(id, rc, text);
}

Json getString(Bridge& bridge, const Json& request, const std::string& id) {
    const std::string script = stringMember(request, "script");
    std::string buffer(8192, '\0');
    vdj::HostServices* host = bridge.host().hostServices();
    const int rc = host != nullptr ? host->GetStringInfo(script.c_str(), buffer.data(), 8192) : -1;
    buffer[8191] = '\0';
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return makeAnswer(id, rc, std::move(buffer));
}

Json setWriteRoots(Bridge& bridge, const Json& request, const std::string& id) {
    std::vector<std::string> roots;
    if (const auto it = request.find("roots"); it != request.end() && it->is_array()) {
        for (const auto& element : *it)
            if (element.is_string() && !element.get_ref<const std::string&>().empty() &&
                !holdsNul(element.get_ref<const std::string&>()))
                roots.push_back(element.get<std::string>());
    }
    bridge.writeRoots.replace(std::move(roots), bridge.log());
    return makeAnswer(id, 0, "");
}

// The end-show marker is written into this folder at quit; a folder the system
// could only reach cut short at a NUL is not taken.
Json setDataDir(Bridge& bridge, const Json& request, const std::string& id) {
    std::string path = stringMember(request, "path");
    if (holdsNul(path)) {
        bridge.log().logLine("REFUSED set_data_dir path holding NUL");
        return makeAnswer(id, -1, "refused: path holds a NUL character");
    }
    bridge.dataDir = std::move(path);
    bridge.log().logLine("set_data_dir      %s", bridge.dataDir.c_str());
    return makeAnswer(id, 0, "");
}

std::shared_ptr<platform::PostTarget> mainPostTarget(Bridge& bridge) {
    platform::Window* window = bridge.host().mainWindow();
    return window != nullptr ? window->postTarget() : nullptr;
}

void startCloudRequest(Bridge& bridge, const std::shared_ptr<WebView>& sender, const Json& request,
                       const std::string& id) {
    auto run = [alive = bridge.alive(), webView = sender, target = mainPostTarget(bridge), request, id,
                log = bridge.log()]() mutable {
        try {
            Json answer = runCloudRequest(request, id);
            postBridgeResponse(alive, target, std::move(webView), std::move(answer));
        } catch (const std::exception& e) {
            log.logLine("cloud_http failed: %s", e.what());
        } catch (...) {
            log.logLine("cloud_http failed");
        }
    };
    try {
        std::thread(std::move(run)).detach();
    } catch (const std::system_error& e) {
        // Without a thread the request cannot run; answer now rather than never.
        bridge.log().logLine("cloud_http thread could not start: %s", e.what());
        Json answer = makeAnswer(id, -1, "cloud_http unavailable");
        answer["status"] = 0;
        answer["body"] = "";
        sendBridgeResponse(sender.get(), answer);
    }
}

void queueFileTask(Bridge& bridge, const std::shared_ptr<WebView>& sender, const Json& request,
                   const std::string& action, const std::string& id) {
    bridge.host().enqueueFileTask([bridge = &bridge, alive = bridge.alive(), webView = sender,
                                   target = mainPostTarget(bridge), request, action, id]() mutable {
        Json answer = bridge->files().run(request, action, id);
        postBridgeResponse(alive, target, std::move(webView), std::move(answer));
    });
}

}  // namespace

void sendBridgeResponse(WebView* webView, const Json& response) {
    if (webView == nullptr) return;
    webView->executeScript(answerScriptFor(response));
}

void postBridgeResponse(const AliveFlag& alive, const std::shared_ptr<platform::PostTarget>& target,
                        std::shared_ptr<WebView> webView, Json response) {
    if (!alive->load() || target == nullptr) return;
    target->post(kBridgeResponseMessage, std::make_unique<PostedResponse>(std::move(webView), std::move(response)));
}

void dispatchBridgeMessage(Bridge& bridge, const std::shared_ptr<WebView>& sender, std::string_view messageJson) {
    // The engine hands over text it converted itself; malformed bytes are read as
    // the platform's converter reads them, with replacement characters.
    std::optional<Json> message = isValidUtf8(messageJson) ? parseJsonStrict(messageJson)
                                                           : parseJsonStrict(wideToUtf8(utf8ToWide(messageJson)));
    if (!message || !message->is_object()) {
        bridge.log().logLine("bridge: unparseable message: %s", logExcerpt(messageJson).c_str());
        return;
    }
    const Json& request = *message;
    std::string id = stringMember(request, "id");
    if (id.empty()) id.assign(1, '0');
    const std::string action = stringMember(request, "action");

    if (action == "cloud_http") return startCloudRequest(bridge, sender, request, id);
    if (isFileAction(action)) return queueFileTask(bridge, sender, request, action, id);

    Json answer;
    if (action == "send") {
        answer = sendCommand(bridge, request, id);
    } else if (action == "getinfo") {
        answer = getInfo(bridge, request, id);
    } else if (action == "getstring") {
        answer = getString(bridge, request, id);
    } else if (action == "set_data_dir") {
        answer = setDataDir(bridge, request, id);
    } else if (action == "set_picker_dir") {
        std::string path = stringMember(request, "path");
        if (holdsNul(path)) {
            bridge.log().logLine("REFUSED set_picker_dir path holding NUL");
            answer = makeAnswer(id, -1, "refused: path holds a NUL character");
        } else {
            bridge.pickerDir = std::move(path);
            answer = makeAnswer(id, 0, "");
        }
    } else if (action == "set_write_roots") {
        answer = setWriteRoots(bridge, request, id);
    } else if (isDesktopAction(action)) {
        auto done = bridge.host().runDesktopAction(action, request, id);
        answer = done ? std::move(*done) : notImplemented(bridge, action, id);
    } else {
        answer = notImplemented(bridge, action, id);
    }
    sendBridgeResponse(sender.get(), answer);
}

}  // namespace qk::bridge
