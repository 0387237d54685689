// QuorvaleKaraokePlugin: the main plug-in, hosting the karaoke manager page.
#pragma once

#include "kit/vdj_plugin.h"

class QuorvaleKaraokePlugin final : public vdj::StartStopPlugin {
public:
    QuorvaleKaraokePlugin() = default;

    vdj::Result VDJ_API OnLoad() override;
    vdj::Result VDJ_API OnGetPluginInfo(vdj::PluginInfo* info) override;
    std::uint32_t VDJ_API Release() override;
    void VDJ_API Destroy() override { delete this; }

private:
    ~QuorvaleKaraokePlugin() = default;
};
