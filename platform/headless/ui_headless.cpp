// The UI backend of a build without a windowing toolkit: no windows at all, so
// the karaoke plug-in runs its file service and declines its window; no browser
// to hand links to, no chooser and no monitor.
#include <cstdlib>

#include "platform/monitors.h"
#include "platform/shell.h"
#include "platform/ui_loop.h"

namespace qk::platform {

std::unique_ptr<UiLoop> createUiLoop() { return nullptr; }

namespace {
class HeadlessShell final : public Shell {
public:
    bool openWebLink(const std::string&) override { return false; }
    std::string pickPath(PickKind, const std::string&, const std::string&, Window*) override { return {}; }
};
}  // namespace

std::unique_ptr<Shell> createShell() { return std::make_unique<HeadlessShell>(); }
std::vector<MonitorInfo> listMonitors() {
    // A stand-in layout still counts: the desktop actions can be tried out without a display.
    if (const char* layout = std::getenv("QK_MONITORS"))
        if (auto standIn = parseMonitorLayout(layout)) return *standIn;
    return {};
}

}  // namespace qk::platform
