// The UI backend of a build without a windowing toolkit: no windows at all, so
// the karaoke plug-in runs its file service and declines its window; no browser
// to hand links to, no chooser and no monitor.
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
std::vector<MonitorInfo> listMonitors() { return {}; }

}  // namespace qk::platform
