// The render thread's GPU textures and how the decoded pictures become textures.
// Touched only by OnDraw and OnDeviceClose, so nothing here needs a lock of its
// own; the picture lists are read under the state's imageMutex.
#pragma once

#include <vector>

#include "kit/log.h"
#include "overlay/overlay_state.h"
#include "platform/gpu.h"

namespace qk::overlay {

using platform::GpuTexture;

struct RenderTextures {
    GpuTexture bgTexture;
    GpuTexture logoTexture;
    std::vector<GpuTexture> slideTextures;  // one slot per slide image; empty until needed
    std::vector<GpuTexture> danceTextures;  // one slot per dance image; empty until needed
    GpuTexture tickerTexture;
    GpuTexture idleTexture;
    GpuTexture danceBannerTexture;

    // Takes the picture flags and makes every missing picture texture from the
    // images the poller decoded; slots whose image is not valid stay empty and
    // are tried again on the next call, and each failed upload is logged. True
    // when the slide list changed.
    bool refreshPictures(platform::Gpu& gpu, OverlayState& state, const LogFile& log = LogFile());

    // Releases every texture, for a device that goes away; the decoded images
    // stay, so the textures are made again for the next device.
    void releaseAll(platform::Gpu& gpu);
};

}  // namespace qk::overlay
