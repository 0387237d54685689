// QuorvaleSound: the sound board, a DSP plug-in on the master output.
#pragma once

#include "kit/vdj_plugin.h"

class QuorvaleSound final : public vdj::DspPlugin {
public:
    QuorvaleSound() = default;

    vdj::Result VDJ_API OnLoad() override;
    vdj::Result VDJ_API OnGetPluginInfo(vdj::PluginInfo* info) override;
    std::uint32_t VDJ_API Release() override;
    void VDJ_API Destroy() override { delete this; }
    vdj::Result VDJ_API OnProcessSamples(float* buffer, int frames) override;

private:
    ~QuorvaleSound() = default;
};
