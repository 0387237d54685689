// The poller's idle pass: audience.json read again with unchanged bytes and the
// three picture versions compared, every 350 ms all evening. Goal: at most 20 us.
#include <benchmark/benchmark.h>

#include <string>

#include "kit/log.h"
#include "overlay/state_poller.h"
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

}  // namespace
