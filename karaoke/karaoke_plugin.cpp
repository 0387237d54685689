#include "karaoke/karaoke_plugin.h"

#include "kit/author.h"

vdj::Result QuorvaleKaraokePlugin::OnLoad() { return vdj::kOk; }

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

std::uint32_t QuorvaleKaraokePlugin::Release() {
    Destroy();
    return 0;
}
