// The page's desktop actions, answered on the UI thread: web links, the monitor
// list, the audience window switches, the file and folder choosers and the
// SHA-256 digest. The platform's services are handed in, so the logic here is
// the same for every backend and for the tests' doubles.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kit/json_access.h"
#include "kit/log.h"
#include "platform/monitors.h"
#include "platform/shell.h"

namespace qk::platform {
class Window;
}

namespace qk::bridge {

// The audience window as the bridge drives it. The plug-in owns the window and
// its page; this is all the actions need of it. UI thread.
class AudienceScreen {
public:
    // Puts the audience page full-screen and topmost on `monitor`, display
    // `index` of the monitor list, without taking the focus; the first call
    // creates the window, later ones move it.
    virtual void showOnMonitor(int index, const platform::MonitorInfo& monitor) = 0;
    // Hides the window (its page stays loaded) and frees the panic hotkey.
    virtual void hide() = 0;

protected:
    ~AudienceScreen() = default;
};

struct DesktopSeams {
    // Called once, on the UI thread, by the first action that needs the shell.
    std::function<std::unique_ptr<platform::Shell>()> makeShell;
    std::function<std::vector<platform::MonitorInfo>()> listMonitors;
    AudienceScreen* audience = nullptr;  // null: this build has no audience window
};

class DesktopActions {
public:
    DesktopActions(DesktopSeams seams, LogFile log) : seams_(std::move(seams)), log_(std::move(log)) {}

    // The answer to "openurl", "displays", "audience_show", "audience_hide",
    // "pick_file", "pick_folder" or "sha256"; nothing for any other action.
    // `pickerDir` is where the choosers open when the request names no folder;
    // `owner` (may be null) is the window they are modal to.
    std::optional<Json> run(const std::string& action, const Json& request, const std::string& id,
                            const std::string& pickerDir, platform::Window* owner);

    // The monitors in the system's order; an entry's index is its display index.
    std::vector<platform::MonitorInfo> enumerateMonitors() const;
    // Shows the audience window on display `screen`, clamped to the monitor list.
    void ShowAudience(int screen);
    void HideAudience();

private:
    platform::Shell* shell();
    Json openUrl(const Json& request, const std::string& id);
    Json displays(const std::string& id) const;
    Json pick(platform::PickKind kind, const Json& request, const std::string& id, const std::string& pickerDir,
              platform::Window* owner);

    DesktopSeams seams_;
    LogFile log_;
    std::unique_ptr<platform::Shell> shell_;
};

}  // namespace qk::bridge
