// The render thread's GPU textures and how the decoded pictures become textures.
// Touched only by OnDraw and OnDeviceClose, so nothing here needs a lock of its
// own; the picture lists are read under the state's imageMutex.
#pragma once

#include <cstddef>
#include <vector>

#include "kit/log.h"
#include "overlay/overlay_state.h"
#include "platform/gpu.h"

namespace qk::overlay {

using platform::GpuTexture;

// The textures of one picture list, made one by one as the frame shows them.
// A picture whose upload failed is not tried again (nor logged again) until the
// list changes or the device goes.
struct PictureTextures {
    std::vector<GpuTexture> textures;  // one slot per picture once needed; empty until then
    std::vector<bool> failed;          // beside textures

    // Empties the list, for new pictures or a device that goes away.
    void release(platform::Gpu& gpu);
    // The texture of picture i of `images` (read under imageMutex, which the
    // caller holds), made now when its slot is empty; an empty texture when
    // the picture is not valid or cannot be uploaded.
    const GpuTexture& get(platform::Gpu& gpu, const std::vector<BgraImage>& images, std::size_t i, const LogFile& log);
    bool empty() const { return textures.empty(); }
    std::size_t size() const { return textures.size(); }
};

struct RenderTextures {
    GpuTexture bgTexture;
    GpuTexture logoTexture;
    PictureTextures slideTextures;  // in show order
    PictureTextures danceTextures;  // in file order
    GpuTexture tickerTexture;
    GpuTexture idleTexture;
    GpuTexture danceBannerTexture;
    bool bgFailed = false, logoFailed = false;

    // Takes the assets flag and makes the background and logo textures when
    // they are missing; a failed upload waits for new assets or another device.
    void refreshAssets(platform::Gpu& gpu, OverlayState& state, const LogFile& log = LogFile());
    // Take the slide and dance flags: when one was set, that list's textures
    // go. True when it was set.
    bool takeSlideChange(platform::Gpu& gpu, OverlayState& state);
    bool takeDanceChange(platform::Gpu& gpu, OverlayState& state);

    // Releases every texture, for a device that goes away; the decoded images
    // stay, so the textures are made again for the next device.
    void releaseAll(platform::Gpu& gpu);
};

}  // namespace qk::overlay
