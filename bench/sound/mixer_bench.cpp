// The mixer's cost per audio block: eight voices over 512 frames, the host's usual
// block. Goal: at most 2 us per block in steady play.
#include <benchmark/benchmark.h>

#include <vector>

#include "sound/sound_rate.h"
#include "sound/voices.h"

namespace {

using qk::sound::Voices;

constexpr int kFrames = 512;
constexpr int kRate = 48000;

void addCounters(benchmark::State& state) {
    state.counters["frame_voices"] = Voices::kCount * kFrames;
    state.counters["per_frame_voice"] = benchmark::Counter(
        Voices::kCount * kFrames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Eight voices playing from a given frame each block, so every iteration does the
// same work: from frame 1000 is steady play, past the fade-in; from frame 0 is the
// worst block, where the fade-in ramp covers the first 240 frames of each voice.
void BM_MixEightVoices(benchmark::State& state) {
    const std::vector<float> sound(2 * 48000, 0.25f);
    const auto from = static_cast<std::int32_t>(state.range(0));
    Voices voices;
    for (int i = 0; i < Voices::kCount; ++i) voices.start(sound.data(), 48000, 1.0f, "v");
    std::vector<float> block(2 * kFrames);
    for (auto _ : state) {
        for (int i = 0; i < Voices::kCount; ++i) voices[i].position.store(from, std::memory_order_relaxed);
        voices.mix(block.data(), kFrames, kRate);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    addCounters(state);
}
BENCHMARK(BM_MixEightVoices)->ArgName("from_frame")->Arg(1000)->Arg(0);

// Eight voices fading out (stop_all): each frame's gain follows the one before.
void BM_MixEightVoicesFading(benchmark::State& state) {
    const std::vector<float> sound(2 * 48000, 0.25f);
    Voices voices;
    std::vector<float> block(2 * kFrames);
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < Voices::kCount; ++i) {
            voices[i].state.store(qk::sound::VoiceState::Idle);
            voices.start(sound.data(), 48000, 1.0f, "v");
            voices[i].position.store(1000, std::memory_order_relaxed);
        }
        voices.fadeAll();
        state.ResumeTiming();
        voices.mix(block.data(), kFrames, kRate);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    addCounters(state);
}
BENCHMARK(BM_MixEightVoicesFading);

}  // namespace
