// The stand-in host's decks on the audio thread: one 512-frame block with both
// decks playing, and how many times faster than real time that is.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "host/decks.h"

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 512;

std::unique_ptr<qkhost::Track> song(float value) {
    auto t = std::make_unique<qkhost::Track>();
    t->rate = kRate;
    t->frames = kRate * 60;  // a minute
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
    std::int64_t blocksLeft = 0;
    for (auto _ : state) {
        // Both decks back to the start before their songs run out, outside the
        // measured time.
        if (blocksLeft == 0) {
            state.PauseTiming();
            for (int n = 1; n <= qkhost::Decks::kCount; ++n) {
                decks.deck(n)->stop();
                decks.deck(n)->play();
            }
            blocksLeft = kRate * 60 / kBlock;
            state.ResumeTiming();
        }
        --blocksLeft;
        // The silence the audio thread starts each block from, then the decks.
        std::fill(block.begin(), block.end(), 0.0f);
        decks.mixInto(block.data(), kBlock);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    // Seconds of sound mixed per second: how many times faster than real time.
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock / kRate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TwoDecksPerBlock);

}  // namespace
