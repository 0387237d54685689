// Both sides of the overlay's handover when nothing changes, which is nearly
// always: the poller's idle pass and the render thread's part of a frame.
#include <benchmark/benchmark.h>

#include <string>

#include "kit/log.h"
#include "overlay/render_textures.h"
#include "overlay/state_poller.h"
#include "tests/overlay/recording_gpu.h"
#include "tests/support/temp_dir.h"

namespace {

// About 10 KB: a full evening's rotation with every appearance key set.
std::string audienceOfTenKilobytes() {
    std::string rotation;
    for (int i = 0; rotation.size() < 10000; ++i) {
        if (i) rotation += ",";
        rotation += R"({"singer":"Singer number )" + std::to_string(i) +
                    R"(","title":"A song title of some length","isNew":false,"needsSong":false,"wait":"~)" +
                    std::to_string(4 * i) + R"( min"})";
    }
    return R"({"renderer":"pipeline","visible":true,"isPlaying":false,"title":"Karaoke Night","venue":"The Venue",)"
           R"("appearance":{"assetsVer":3,"slides":{"ver":2,"enabled":true,"secs":8},"accent":"#ff7a1a","logoWidth":20},)"
           R"("dance":{"gfxVer":1,"anims":["pulse","zoom"]},"qr":{"url":"https://example.invalid/request"},)"
           R"("rotation":[)" +
           rotation + "]}";
}

// audience.json read again with unchanged bytes and the three picture versions
// compared, every 350 ms all evening. Goal: at most 20 us.
void BM_PollerIdlePass(benchmark::State& bench) {
    qktest::TempDir dir;
    qktest::writeFile(dir.file("audience.json"), audienceOfTenKilobytes());
    qk::overlay::OverlayState state;
    const qk::LogFile log = qk::LogFile::companion(dir.file("overlay.log"));
    auto decoder = qk::platform::ImageDecoder::create();
    qk::overlay::StatePoller poller(state,
                                    {dir.file("audience.json"), dir.file("audience-assets.json"),
                                     dir.file("audience-slides.json"), dir.file("dance-graphics.json")},
                                    log);
    poller.pollOnce(decoder.get());  // takes the document and acts on its versions once
    if (!state.stateDirty.exchange(false)) bench.SkipWithError("the document was not taken");
    for (auto _ : bench) poller.pollOnce(decoder.get());
    if (state.stateDirty.load()) bench.SkipWithError("an unchanged document was taken again");
    bench.counters["bytes"] = static_cast<double>(audienceOfTenKilobytes().size());
}
BENCHMARK(BM_PollerIdlePass);

// The render thread's side of the handover in a frame where nothing changed:
// the document reference, the flags, and the walk over the picture lists.
void BM_FrameHandover(benchmark::State& bench) {
    qk::overlay::OverlayState state;
    state.audienceState =
        std::make_shared<const qk::overlay::AudienceSnapshot>(qk::Json::parse(audienceOfTenKilobytes()));
    const auto picture = [] {
        qk::overlay::BgraImage image;
        image.width = image.height = 16;
        image.pixels.assign(16 * 16 * 4, 0x80);
        return image;
    };
    state.bgImage = picture();
    state.logoImage = picture();
    state.slideImages = {picture(), picture(), picture()};
    state.danceImages = {picture(), picture()};
    qktest::RecordingGpu gpu(std::make_shared<qktest::GpuRecord>());
    qk::overlay::RenderTextures textures;
    textures.refreshAssets(gpu, state);  // the textures exist from here on
    for (auto _ : bench) {
        const qk::overlay::AudienceSnapshotPtr snapshot = state.snapshot();
        benchmark::DoNotOptimize(state.stateDirty.exchange(false));
        textures.refreshAssets(gpu, state);
        benchmark::DoNotOptimize(snapshot->doc.isPlaying);
    }
}
BENCHMARK(BM_FrameHandover);

}  // namespace
