#include "overlay/frame_composer.h"

#include <algorithm>
#include <cmath>

#include "overlay/idle_screen.h"
#include "overlay/ticker.h"

namespace qk::overlay {
namespace {

constexpr float kInvisible = 0.005f;

void replaceTexture(platform::Gpu& gpu, GpuTexture& slot, GpuTexture made) {
    if (slot.usable()) gpu.releaseTexture(slot);
    slot = made;
}

// A rendered text picture as a texture; a picture that could not be rendered
// gives none without a word, one that cannot be uploaded says so.
GpuTexture makeTextTexture(platform::Gpu& gpu, const platform::CanvasPicture& picture, const LogFile& log) {
    if (picture.width < 1 || picture.height < 1) return {};
    const GpuTexture made = gpu.makeTextureFromBgra(picture.pixels.data(), picture.width, picture.height);
    if (!made.usable()) log.logLine("makeTextTexture: CreateTexture2D FAIL %dx%d", picture.width, picture.height);
    return made;
}

// Saves the host's device state for a frame and puts it back at the end of
// the scope, however that is reached.
class SavedGpuState {
public:
    explicit SavedGpuState(platform::Gpu& gpu) : gpu_(gpu) { gpu_.saveState(); }
    ~SavedGpuState() { gpu_.restoreState(); }
    SavedGpuState(const SavedGpuState&) = delete;
    SavedGpuState& operator=(const SavedGpuState&) = delete;

private:
    platform::Gpu& gpu_;
};

}  // namespace

bool PipelineKeeper::ensure(platform::Gpu& gpu, const void* device, const LogFile& log) {
    if (failed_) return false;
    if (built_ && device == device_) return true;
    if (built_) gpu.releasePipeline();
    built_ = false;
    device_ = device;
    std::string failure;
    if (!gpu.buildPipeline(&failure)) {
        log.logLine("%s", failure.c_str());
        failed_ = true;
        return false;
    }
    built_ = true;
    log.logLine("pipeline ready");
    return true;
}

void PipelineKeeper::deviceClosed(platform::Gpu& gpu) {
    gpu.releasePipeline();
    device_ = nullptr;
    built_ = false;
    failed_ = false;
}

// What every layer of one frame draws with.
struct FrameComposer::Frame {
    platform::Gpu& gpu;
    const AudienceDocument& doc;
    RenderTextures& textures;
    const LogFile& log;
    float W, H, s;
    double t, dt;

    void fill(float x, float y, float w, float h, Color c, float o) const {
        gpu.drawQuad(W, H, x, y, w, h, nullptr, {c.r * o, c.g * o, c.b * o, o});
    }
    void texture(const GpuTexture& tex, float x, float y, float w, float h, float o) const {
        gpu.drawQuad(W, H, x, y, w, h, &tex, {o, o, o, o});
    }
};

void FrameComposer::restart() {
    masterAlpha_ = tickerAlpha_ = idleAlpha_ = 0;
    scrollX_ = 0;
}

void FrameComposer::deviceClosed() {
    idleBuiltWidth_ = idleBuiltHeight_ = 0;
    danceBannerX_ = danceBannerY_ = 0;
}

void FrameComposer::draw(platform::Gpu& gpu, platform::TextEngine& text, OverlayState& state,
                         const AudienceSnapshot& snapshot, TakenStateChange& change, RenderTextures& textures,
                         const LogFile& log, float W, float H, double t, double dt) {
    const AudienceDocument& doc = snapshot.doc;
    const bool playing = doc.isPlaying;
    masterAlpha_ = fadeToward(masterAlpha_, doc.renderer == "pipeline" && doc.visible ? 1.0f : 0.0f, dt);
    // Faded out: nothing is drawn or rebuilt, and a new document waits for later.
    if (masterAlpha_ <= kInvisible) return;

    const bool changed = change.use();
    if (playing != lastIsPlaying_) {
        lastIsPlaying_ = playing;
        scrollX_ = 0;
    }
    if (playing) {
        if (changed || !textures.tickerTexture.usable()) rebuildTicker(gpu, text, doc, textures, log, H);
    } else if (changed || !textures.idleTexture.usable() || static_cast<std::int32_t>(W) != idleBuiltWidth_ ||
               static_cast<std::int32_t>(H) != idleBuiltHeight_) {
        rebuildIdle(gpu, text, doc, textures, log, W, H);
    }
    tickerAlpha_ = fadeToward(tickerAlpha_, playing ? 1.0f : 0.0f, dt);
    idleAlpha_ = fadeToward(idleAlpha_, playing ? 0.0f : 1.0f, dt);

    // The host's state comes back however the frame ends, a throw included.
    const SavedGpuState saved(gpu);
    textures.refreshAssets(gpu, state, log);
    Frame f{gpu, doc, textures, log, W, H, H / 1080, t, dt};
    const float v = idleAlpha_ * masterAlpha_;
    if (v > kInvisible) drawIdleLayers(f, state, v);
    const float m = tickerAlpha_ * masterAlpha_;
    if (m > kInvisible) drawTickerLayers(f, m);
}

void FrameComposer::drawIdleLayers(Frame& f, OverlayState& state, float v) {
    const Appearance& look = f.doc.appearance;
    RenderTextures& tx = f.textures;
    const float W = f.W, H = f.H, s = f.s;

    if (look.enabled) {
        f.fill(0, 0, W, H, look.color, v);
        if (tx.bgTexture.usable() && tx.bgTexture.width >= 1 && tx.bgTexture.height >= 1) {
            const float w = tx.bgTexture.width, h = tx.bgTexture.height;
            const float k = std::max(H / h, W / w);
            f.texture(tx.bgTexture, (W - w * k) / 2, (H - h * k) / 2, w * k, h * k, v);
        }
    }

    float top = 36 * s;
    if (look.logoShow && tx.logoTexture.usable() && tx.logoTexture.width >= 1) {
        const Rect r = logoRect(W, H, look.logoWidth, tx.logoTexture.width, tx.logoTexture.height);
        f.texture(tx.logoTexture, r.x, r.y, r.w, r.h, v);
        top = 36 * s + r.h;
    }

    // Slides and dance graphics are uploaded one by one as they come on screen.
    if (tx.takeSlideChange(f.gpu, state)) slides_.restart(f.t);
    const float slidesTop = top + 20 * s;
    const float boxH = slidesBottom_ - 20 * s - slidesTop;
    if (look.slides && look.slides->enabled && boxH > 40 * s) drawSlides(f, state, slidesTop, boxH, v);

    if (tx.idleTexture.usable()) f.texture(tx.idleTexture, 0, 0, W, H, v);

    if (!f.doc.dance) {
        lastGfxSlot_ = -1;
        return;
    }
    const GpuTexture& banner = tx.danceBannerTexture;
    if (banner.usable() && banner.width >= 1) {
        const float k = 1 + 0.05f * std::sin(2 * 3.1415927f * static_cast<float>(f.t) / 1.6f);
        const float w = banner.width, h = banner.height;
        f.texture(banner, danceBannerX_, danceBannerY_ + (h - h * k) / 2, w * k, h * k, v);
    }
    tx.takeDanceChange(f.gpu, state);
    drawDanceGraphic(f, state, v);
}

void FrameComposer::drawSlides(Frame& f, OverlayState& state, float slidesTop, float boxH, float v) {
    const float W = f.W, s = f.s;
    std::lock_guard lock(state.imageMutex);
    const auto n = static_cast<std::int32_t>(state.slideImages.size());
    if (n > 0) {
        const SlideStep step = stepSlides(slides_, n, f.doc.appearance.slides->secs, f.t);
        auto drawSlide = [&](std::int32_t i, float o) {
            if (o <= kInvisible || i < 0 || i >= n) return;
            const GpuTexture& tex =
                f.textures.slideTextures.get(f.gpu, state.slideImages, static_cast<std::size_t>(i), f.log);
            if (!tex.usable() || tex.width < 1 || tex.height < 1) return;
            const float bw = 0.333f * W - 48 * s;
            const float k = std::min(boxH / tex.height, bw / tex.width);
            f.texture(tex, (bw - tex.width * k) / 2 + 24 * s, (boxH - tex.height * k) / 2 + slidesTop, tex.width * k,
                      tex.height * k, o);
        };
        drawSlide(step.index, (1 - step.fade) * v);
        if (step.fade > 0) drawSlide(step.next, step.fade * v);
    }
}

void FrameComposer::drawDanceGraphic(Frame& f, OverlayState& state, float v) {
    const DanceSettings& dance = *f.doc.dance;
    const float W = f.W, H = f.H;
    std::lock_guard lock(state.imageMutex);
    if (state.danceImages.empty() || dance.anims.empty()) return;
    const DanceSlot d = danceSlot(f.t, dance.gfxSecs, state.danceImages.size(), dance.anims);
    if (!dance.gfxOff)
        lastGfxSlot_ = d.slot;
    else if (d.slot != lastGfxSlot_)
        return;
    const GpuTexture& tex = f.textures.danceTextures.get(f.gpu, state.danceImages, d.image, f.log);
    if (!tex.usable() || tex.width < 1 || tex.height < 1) return;
    const float G = dance.gfxSize * H / 100;
    const DancePlacement p = placeDance(d.animation, d.phase, d.place, G, float(tex.width) / tex.height, W, H);
    const float o = p.opacity * v;
    if (o > 0.01f && p.box.h > 1) f.texture(tex, p.box.x, p.box.y, p.box.w, p.box.h, o);
}

void FrameComposer::drawTickerLayers(Frame& f, float m) {
    const Appearance& look = f.doc.appearance;
    const Rect bar = tickerBar(f.doc.edge, f.W, f.H);
    f.fill(0, bar.y, f.W, bar.h, look.bar, 0.87f * m);
    f.fill(0, bar.y, f.W, 2 * f.s, look.barLine, 0.7f * m);
    f.fill(0, bar.y + bar.h - 2 * f.s, f.W, 2 * f.s, look.barLine, 0.7f * m);
    const GpuTexture& tex = f.textures.tickerTexture;
    if (!tex.usable() || tex.width < 1) return;
    scrollX_ = advanceScroll(scrollX_, f.s, f.doc.speed, f.dt, tex.width);
    for (double x = scrollX_; x < f.W; x += tex.width)
        f.texture(tex, static_cast<float>(x), bar.y + (bar.h - tex.height) / 2, tex.width, tex.height, m);
}

void FrameComposer::rebuildTicker(platform::Gpu& gpu, platform::TextEngine& text, const AudienceDocument& doc,
                                  RenderTextures& textures, const LogFile& log, float outH) {
    const float s = outH > 0 ? outH / 1080 : 1;
    std::int32_t w = 0, h = 0;
    const platform::CanvasPicture picture = renderTicker(text, tickerSegments(doc, s), s, &w, &h);
    if (w == 0) return;  // no layout: the old line stays, nothing to say
    const GpuTexture made = makeTextTexture(gpu, picture, log);
    if (!made.usable()) {
        log.logLine("rebuildTicker: makeTextTexture failed %dx%d", w, h);
        return;
    }
    replaceTexture(gpu, textures.tickerTexture, made);
}

void FrameComposer::rebuildIdle(platform::Gpu& gpu, platform::TextEngine& text, const AudienceDocument& doc,
                                RenderTextures& textures, const LogFile& log, float W, float H) {
    if (W <= 7 || H <= 7) return;
    IdleLayout layout;
    const auto w = static_cast<std::int32_t>(W), h = static_cast<std::int32_t>(H);
    const platform::CanvasPicture picture =
        text.render(w, h, [&](platform::Canvas& canvas) { drawIdleLayer(canvas, text, doc, W, H, layout); });
    slidesBottom_ = picture.width > 0 ? layout.slidesBottom : H - 16 * H / 1080;
    if (layout.qrTooLong)
        log.logLine("QR code: url of %zu bytes is too long for a QR code, none shown", doc.qr->url.size());

    replaceTexture(gpu, textures.danceBannerTexture, {});
    danceBannerX_ = danceBannerY_ = 0;
    if (!layout.bannerText.empty()) {
        const GpuTexture banner =
            makeTextTexture(gpu,
                            text.render(layout.bannerW, layout.bannerH,
                                        [&](platform::Canvas& c) { drawDanceBanner(c, text, doc, H, layout); }),
                            log);
        if (banner.usable()) {
            textures.danceBannerTexture = banner;
            danceBannerX_ = layout.bannerX;
            danceBannerY_ = layout.bannerY;
        }
    }

    const GpuTexture made = makeTextTexture(gpu, picture, log);
    if (!made.usable()) {
        log.logLine("rebuildIdle: makeTextTexture failed %dx%d", w, h);
        return;
    }
    replaceTexture(gpu, textures.idleTexture, made);
    idleBuiltWidth_ = w;
    idleBuiltHeight_ = h;
}

}  // namespace qk::overlay
