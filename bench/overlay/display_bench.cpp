// The overlay's drawing cost on the render thread, with real OpenGL (Mesa) and
// real Pango and Cairo: a steady frame on an unchanged document, and the ticker
// and idle-screen rebuilds that follow a change. The benchmarks run inside
// qkhost's render thread, so that the host's OpenGL context is current.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bench/overlay/display_fixture.h"
#include "host/render_engine.h"
#include "overlay/idle_screen.h"

namespace {

using namespace qk::overlay;
using namespace qk::overlay::bench;

// A GPU that takes the quads and does nothing: the overlay's own share of a
// frame, which on a hardware GPU is nearly all of the CPU a frame costs.
class NullGpu final : public qk::platform::Gpu {
public:
    void useDevice(const void*) override {}
    bool buildPipeline(std::string*) override { return true; }
    void releasePipeline() override {}
    void saveState() override {}
    void restoreState() override {}
    void drawQuad(float, float, float x, float, float, float, const qk::platform::GpuTexture*,
                  qk::platform::Rgba) override {
        benchmark::DoNotOptimize(x);
    }
    qk::platform::GpuTexture makeTextureFromBgra(const std::uint8_t*, std::int32_t w, std::int32_t h) override {
        return {++next_, w, h};
    }
    void releaseTexture(qk::platform::GpuTexture& t) override { t = {}; }

private:
    std::uintptr_t next_ = 0;
};

void steadyFrameOverlayOnly(benchmark::State& st) {
    NullGpu gpu;
    auto text = qk::platform::TextEngine::create();
    OverlayState state;
    RenderTextures textures;
    FrameComposer composer;
    qk::LogFile log;
    // As OnDraw does: take the document's snapshot each frame.
    state.audienceState = std::make_shared<AudienceSnapshot>(qk::Json::parse(evening(st.range(0) != 0)));
    state.stateDirty = true;
    double t = 100;
    {
        TakenStateChange change(state.stateDirty);
        composer.draw(gpu, *text, state, *state.snapshot(), change, textures, log, kW, kH, t, 0);
    }
    for (auto _ : st) {
        t += 1 / 60.0;
        TakenStateChange change(state.stateDirty);
        const AudienceSnapshotPtr snapshot = state.snapshot();
        composer.draw(gpu, *text, state, *snapshot, change, textures, log, kW, kH, t, 1 / 60.0);
    }
    st.SetLabel(st.range(0) ? "ticker" : "idle screen");
}
BENCHMARK(steadyFrameOverlayOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The same frame through Mesa's software OpenGL: the driver's work (and, on
// llvmpipe, the rasterising that a hardware GPU would do) is in the figure.
void steadyFrame(benchmark::State& st) {
    Display d(st.range(0) != 0);
    double t = 100;
    d.frame(t, 0);
    for (auto _ : st) {
        t += 1 / 60.0;
        d.frame(t, 1 / 60.0);
    }
    st.SetLabel(st.range(0) ? "ticker" : "idle screen");
}
BENCHMARK(steadyFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void tickerRebuild(benchmark::State& st) {
    Display d(true);
    for (auto _ : st) d.composer.rebuildTicker(*d.gpu, *d.text, d.snapshot->doc, d.textures, d.log, kH);
    st.SetLabel(std::to_string(d.textures.tickerTexture.width) + "x" + std::to_string(d.textures.tickerTexture.height));
}
BENCHMARK(tickerRebuild)->Unit(benchmark::kMillisecond);

void idleRebuild(benchmark::State& st) {
    Display d(false);
    for (auto _ : st) d.composer.rebuildIdle(*d.gpu, *d.text, d.snapshot->doc, d.textures, d.log, kW, kH);
}
BENCHMARK(idleRebuild)->Unit(benchmark::kMillisecond);

// The idle picture's drawing alone, without the upload.
void idlePicture(benchmark::State& st) {
    Display d(false);
    IdleLayout layout;
    for (auto _ : st) {
        auto picture = d.text->render(
            1920, 1080, [&](qk::platform::Canvas& c) { drawIdleLayer(c, *d.text, d.snapshot->doc, kW, kH, layout); });
        benchmark::DoNotOptimize(picture.pixels.data());
    }
}
BENCHMARK(idlePicture)->Unit(benchmark::kMillisecond);

// Runs every benchmark once, from the first frame on the render thread.
class BenchEffect final : public vdj::VideoFxPlugin {
public:
    void VDJ_API Destroy() override {}
    vdj::Result VDJ_API OnDraw() override {
        if (!ran && video != nullptr && video->GetDevice(qk::platform::kHostVideoEngine, &hostDevice) == vdj::kOk)
            benchmark::RunSpecifiedBenchmarks();
        ran = true;
        return 0;
    }
    bool ran = false;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    qkhost::RenderOptions options;
    options.maxFrames = 1;
    qkhost::RenderEngine engine(options);
    BenchEffect effect;
    effect.video = engine.services();
    std::string error;
    if (!engine.start({&effect}, &error)) {
        std::fprintf(stderr, "no OpenGL context: %s\n", error.c_str());
        return 1;
    }
    engine.wait();
    benchmark::Shutdown();
    return effect.ran ? 0 : 1;
}
