#include "overlay/overlay_plugin.h"

#include "kit/author.h"

vdj::Result QuorvaleOverlay::OnLoad() { return vdj::kOk; }

vdj::Result QuorvaleOverlay::OnGetPluginInfo(vdj::PluginInfo* info) {
    if (info == nullptr) return vdj::kOk;
    info->name = "QuorvaleOverlay";
    info->author = qk::kCompanionAuthor;
    info->description =
        "QuorvaleKaraoke audience overlay rendered directly in the video output (ticker + idle screen). Driven by "
        "QuorvaleKaraoke/audience.json.";
    info->version = "1.6.0";
    info->picture = nullptr;
    info->flags = 0x50000;
    return vdj::kOk;
}

std::uint32_t QuorvaleOverlay::Release() {
    Destroy();
    return 0;
}

vdj::Result QuorvaleOverlay::OnDraw() { return vdj::kOk; }
