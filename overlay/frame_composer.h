// One frame of the audience display on the render thread: the fades, the
// ticker and idle-screen rebuilds, and every layer drawn as quads through the
// GPU seam over the host's picture, which is never cleared.
#pragma once

#include <cstdint>

#include "kit/log.h"
#include "overlay/composition.h"
#include "overlay/overlay_state.h"
#include "overlay/render_textures.h"
#include "platform/gpu.h"
#include "platform/text_canvas.h"

namespace qk::overlay {

// The pipeline's life for one plug-in object: built once per device, and after
// a failure not tried again until the device closes.
class PipelineKeeper {
public:
    bool ensure(platform::Gpu& gpu, const void* device, const LogFile& log);
    // The device went away: everything is built afresh next time, failures forgiven.
    void deviceClosed(platform::Gpu& gpu);
    bool failed() const { return failed_; }
    // A pipeline exists for another device than this one.
    bool deviceChanged(const void* device) const { return built_ && device != device_; }

private:
    const void* device_ = nullptr;
    bool built_ = false;
    bool failed_ = false;
};

class FrameComposer {
public:
    // After a start the first frame has no time step and shows its targets at once.
    void restart();

    // Draws one frame of doc on an outW x outH output at time t (seconds, on a
    // monotonic clock) dt seconds after the previous one. `change` was taken
    // before the snapshot; a faded-out frame leaves it unused.
    void draw(platform::Gpu& gpu, platform::TextEngine& text, OverlayState& state, const AudienceSnapshot& snapshot,
              TakenStateChange& change, RenderTextures& textures, const LogFile& log, float outW, float outH, double t,
              double dt);

    // The device went away with every texture: the idle screen is built again.
    void deviceClosed();

    float masterAlpha() const { return masterAlpha_; }
    float tickerAlpha() const { return tickerAlpha_; }
    float idleAlpha() const { return idleAlpha_; }
    double scrollX() const { return scrollX_; }
    const SlideClock& slideClock() const { return slides_; }
    std::int32_t lastGfxSlot() const { return lastGfxSlot_; }
    float slidesBottom() const { return slidesBottom_; }

    void rebuildTicker(platform::Gpu& gpu, platform::TextEngine& text, const AudienceDocument& doc,
                       RenderTextures& textures, const LogFile& log, float outH);
    void rebuildIdle(platform::Gpu& gpu, platform::TextEngine& text, const AudienceDocument& doc,
                     RenderTextures& textures, const LogFile& log, float outW, float outH);

private:
    struct Frame;
    void drawIdleLayers(Frame& f, OverlayState& state, float v);
    void drawSlides(Frame& f, OverlayState& state, float slidesTop, float boxH, float v);
    void drawDanceGraphic(Frame& f, OverlayState& state, float v);
    void drawTickerLayers(Frame& f, float m);

    float masterAlpha_ = 0, tickerAlpha_ = 0, idleAlpha_ = 0;
    bool lastIsPlaying_ = false;
    double scrollX_ = 0;
    SlideClock slides_;
    std::int32_t lastGfxSlot_ = -1;
    std::int32_t idleBuiltWidth_ = 0, idleBuiltHeight_ = 0;
    float slidesBottom_ = 0;
    float danceBannerX_ = 0, danceBannerY_ = 0;
};

}  // namespace qk::overlay
