#include "bridge/desktop_actions.h"

#include <climits>
#include <string_view>

#include "bridge/base64_url.h"
#include "bridge/file_service.h"
#include "bridge/paths.h"
#include "bridge/protocol.h"
#include "kit/text.h"
#include "platform/hash.h"

namespace qk::bridge {

namespace {

// Truncated toward zero; a value beyond a 32-bit integer saturates, so that a
// huge index still means "the last display" and a huge negative one the first.
int screenIndex(const Json& request) {
    const double screen = numberMember(request, "screen").value_or(0.0);
    if (screen >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (screen <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(screen);
}

Json sha256Answer(const Json& request, const std::string& id) {
    const std::optional<platform::Sha256Digest> digest = platform::sha256(stringMember(request, "data"));
    if (!digest) return makeAnswer(id, -1, "");
    return makeAnswer(id, 0,
                      base64UrlEncode(std::string_view(reinterpret_cast<const char*>(digest->data()), digest->size())));
}

}  // namespace

std::optional<Json> DesktopActions::run(const std::string& action, const Json& request, const std::string& id,
                                        const std::string& pickerDir, platform::Window* owner) {
    if (action == "openurl") return openUrl(request, id);
    if (action == "displays") return displays(id);
    if (action == "audience_show") {
        ShowAudience(screenIndex(request));
        return makeAnswer(id, 0, "shown");  // also when nothing could be shown
    }
    if (action == "audience_hide") {
        HideAudience();
        return makeAnswer(id, 0, "hidden");
    }
    if (action == "pick_file") return pick(platform::PickKind::File, request, id, pickerDir, owner);
    if (action == "pick_folder") return pick(platform::PickKind::Folder, request, id, pickerDir, owner);
    if (action == "sha256") return sha256Answer(request, id);
    return std::nullopt;
}

platform::Shell* DesktopActions::shell() {
    if (!shell_ && seams_.makeShell) shell_ = seams_.makeShell();
    return shell_.get();
}

Json DesktopActions::openUrl(const Json& request, const std::string& id) {
    const std::string url = stringMember(request, "url");
    // Only web links leave the plug-in: no files, mail or other handlers. The
    // prefixes are matched as written, capitals refused.
    const bool webLink = url.starts_with("http://") || url.starts_with("https://");
    platform::Shell* s = webLink ? shell() : nullptr;
    if (s != nullptr && s->openWebLink(url)) return makeAnswer(id, 0, "opened");
    return makeAnswer(id, -1, "bad url");
}

std::vector<platform::MonitorInfo> DesktopActions::enumerateMonitors() const {
    return seams_.listMonitors ? seams_.listMonitors() : std::vector<platform::MonitorInfo>{};
}

Json DesktopActions::displays(const std::string& id) const {
    Json list = Json::array();
    int index = 0;
    for (const platform::MonitorInfo& m : enumerateMonitors()) {
        list.push_back(Json{{"index", index},
                            {"name", "Display " + std::to_string(index + 1)},
                            {"width", m.right - m.left},
                            {"height", m.bottom - m.top},
                            {"main", m.primary}});
        ++index;
    }
    // The page parses the list a second time from this text.
    return makeAnswer(id, 0, serializeAnswer(list).value_or("[]"));
}

void DesktopActions::ShowAudience(int screen) {
    const std::vector<platform::MonitorInfo> monitors = enumerateMonitors();
    if (monitors.empty()) {
        log_.logLine("audience_show: no monitors");
        return;
    }
    const int last = static_cast<int>(monitors.size()) - 1;
    const int index = screen < 0 ? 0 : (screen > last ? last : screen);
    if (seams_.audience != nullptr) seams_.audience->showOnMonitor(index, monitors[static_cast<std::size_t>(index)]);
}

void DesktopActions::HideAudience() {
    if (seams_.audience != nullptr) seams_.audience->hide();
}

Json DesktopActions::pick(platform::PickKind kind, const Json& request, const std::string& id,
                          const std::string& pickerDir, platform::Window* owner) {
    std::string start = stringMember(request, "start");
    // A start folder holding a NUL names no folder the chooser could open.
    if (start.empty() || holdsNul(start)) start = pickerDir;
    // A folder that does not exist is left to the chooser, which ignores it.
    if (!start.empty()) start = canonicalizePath(start);
    const char* title = kind == platform::PickKind::Folder ? "Choose Folder" : "Choose File";
    platform::Shell* s = shell();
    std::string chosen = s != nullptr ? s->pickPath(kind, title, start, owner) : std::string();
    // Nothing chosen (a cancel, or no chooser at all) is not a failure. A name
    // that is not UTF-8 reaches the page as "listdir" shows it, never as an
    // answer that cannot be printed.
    const int hr = chosen.empty() ? 1 : 0;
    return makeAnswer(id, hr, asValidUtf8(chosen));
}

}  // namespace qk::bridge
