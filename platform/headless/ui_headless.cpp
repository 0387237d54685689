// The UI backend of a build without a windowing toolkit: no windows at all, so
// the karaoke plug-in runs its file service and declines its window.
#include "platform/ui_loop.h"

namespace qk::platform {

std::unique_ptr<UiLoop> createUiLoop() { return nullptr; }

}  // namespace qk::platform
