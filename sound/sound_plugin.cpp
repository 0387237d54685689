#include "sound/sound_plugin.h"

#include "kit/author.h"

vdj::Result QuorvaleSound::OnLoad() { return vdj::kOk; }

vdj::Result QuorvaleSound::OnGetPluginInfo(vdj::PluginInfo* info) {
    if (info == nullptr) return vdj::kOk;
    info->name = "QuorvaleSound";
    info->author = qk::kCompanionAuthor;
    info->description =
        "QuorvaleKaraoke sound board: plays sound-board audio directly in the master output (no decks, no "
        "sampler). Driven by QuorvaleKaraoke/sound-inbox.jsonl.";
    info->version = "1.0.0";
    info->picture = nullptr;
    info->flags = 0;
    return vdj::kOk;
}

std::uint32_t QuorvaleSound::Release() {
    Destroy();
    return 0;
}

vdj::Result QuorvaleSound::OnProcessSamples(float*, int) { return vdj::kOk; }
