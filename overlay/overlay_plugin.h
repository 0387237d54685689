// QuorvaleOverlay: draws the audience display into the host's video output.
#pragma once

#include "kit/vdj_plugin.h"

class QuorvaleOverlay final : public vdj::VideoFxPlugin {
public:
    QuorvaleOverlay() = default;

    vdj::Result VDJ_API OnLoad() override;
    vdj::Result VDJ_API OnGetPluginInfo(vdj::PluginInfo* info) override;
    std::uint32_t VDJ_API Release() override;
    void VDJ_API Destroy() override { delete this; }
    vdj::Result VDJ_API OnDraw() override;

private:
    ~QuorvaleOverlay() = default;
};
