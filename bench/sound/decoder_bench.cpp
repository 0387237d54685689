// Decoding speed as a multiple of real time, for a three-minute MP3, beside the
// ffmpeg tool decoding the same file to float PCM at the same rate. Goal: the
// sound board decodes at least 0.9 times as fast as the tool.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "kit/log.h"
#include "platform/files.h"
#include "sound/sound_cache.h"

namespace {

constexpr double kSeconds = 180;

// A three-minute stereo MP3 at 44100 Hz, 192 kbit/s: a chord over noise, so that
// the encoder has real work to describe. Made once in the temporary folder.
const std::string& threeMinuteMp3() {
    static const std::string path = [] {
        const std::string p = qk::platform::tempFolder() + "qk-bench-3min.mp3";
        if (!qk::platform::fileSize(p)) {
            const std::string cmd =
                "ffmpeg -nostdin -v error -y -f lavfi -i 'sine=f=220:d=180' -f lavfi -i 'sine=f=277:d=180' "
                "-f lavfi -i 'anoisesrc=d=180:c=pink:a=0.1' -filter_complex "
                "'[0][1][2]amix=inputs=3,aformat=channel_layouts=stereo' -ar 44100 -c:a libmp3lame -b:a 192k '" +
                p + "'";
            if (std::system(cmd.c_str()) != 0) std::abort();
        }
        return p;
    }();
    return path;
}

// How many times faster than the sound plays: three minutes over the mean time.
void setRealTimeFactor(benchmark::State& state, double secondsSpent) {
    if (state.iterations() > 0 && secondsSpent > 0)
        state.counters["x_realtime"] = kSeconds * static_cast<double>(state.iterations()) / secondsSpent;
}

void BM_SoundBoardDecodesMp3(benchmark::State& state) {
    const std::string& path = threeMinuteMp3();
    const int rate = static_cast<int>(state.range(0));
    const qk::LogFile noLog;
    double spent = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        qk::sound::SoundCache cache(noLog);
        const auto* sound = cache.loadSound(path, rate);
        if (sound == nullptr) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(sound);
        spent += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    setRealTimeFactor(state, spent);
}
BENCHMARK(BM_SoundBoardDecodesMp3)->Arg(48000)->Arg(44100)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FfmpegToolDecodesMp3(benchmark::State& state) {
    const std::string cmd = "ffmpeg -nostdin -v error -i '" + threeMinuteMp3() + "' -f f32le -ac 2 -ar " +
                            std::to_string(state.range(0)) + " -y /dev/null";
    double spent = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("ffmpeg failed");
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(took);
        spent += took;
    }
    setRealTimeFactor(state, spent);
}
BENCHMARK(BM_FfmpegToolDecodesMp3)->Arg(48000)->Arg(44100)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
