// The stand-in host's decks on the audio thread: one 512-frame block with both
// decks playing, as a share of the block's real-time budget.
#include <benchmark/benchmark.h>

#include "host/decks.h"

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 512;

std::unique_ptr<qkhost::Track> song(float value) {
    auto t = std::make_unique<qkhost::Track>();
    t->rate = kRate;
    t->frames = kRate * 60;
    t->samples.assign(static_cast<size_t>(t->frames) * 2, value);
    return t;
}

void BM_TwoDecksPerBlock(benchmark::State& state) {
    qkhost::Decks decks(kRate);
    for (int n = 1; n <= qkhost::Decks::kCount; ++n) {
        decks.deck(n)->load(song(0.1f * n));
        decks.deck(n)->setGain(0.7f);
    }
    std::vector<float> block(kBlock * 2);
    for (auto _ : state) {
        // Back to the start before the song runs out, outside the measured time.
        if (decks.deck(1)->position() > 0.9) {
            state.PauseTiming();
            for (int n = 1; n <= qkhost::Decks::kCount; ++n) decks.deck(n)->stop();
            state.ResumeTiming();
        }
        if (!decks.deck(1)->playing())
            for (int n = 1; n <= qkhost::Decks::kCount; ++n) decks.deck(n)->play();
        std::fill(block.begin(), block.end(), 0.0f);
        decks.mixInto(block.data(), kBlock);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    // The block lasts 512 / 48000 s; the share of it the decks take.
    state.counters["budget_share"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kBlock / kRate, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TwoDecksPerBlock);

}  // namespace
