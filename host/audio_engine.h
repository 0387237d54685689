// The host's real-time audio thread: block after block of the master output, from
// silence plus the playing decks, through every DSP plug-in, to the sinks.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "host/audio_sink.h"
#include "host/decks.h"
#include "kit/vdj_plugin.h"

namespace qkhost {

struct AudioEngineConfig {
    int rate = 48000;
    int blockFrames = 512;
};

class AudioEngine {
public:
    // `decks` (may be null) play at the engine's rate. Decks, plug-ins and sinks
    // must outlive the engine's thread.
    AudioEngine(AudioEngineConfig config, std::vector<vdj::DspPlugin*> plugins, Decks* decks,
                std::vector<AudioSink*> sinks);
    ~AudioEngine();  // stops the thread

    void start();
    // Ends the thread after its current block and waits for it; no plug-in is
    // called after it returns.
    void stop();

    std::int64_t framesRendered() const { return frames_.load(); }
    // Blocks finished after their time had passed (kept on the clock only, without
    // a device that sets the pace).
    std::int64_t lateBlocks() const { return late_.load(); }

private:
    void run();
    void renderBlock(float* block);

    AudioEngineConfig config_;
    std::vector<vdj::DspPlugin*> plugins_;
    Decks* decks_;
    std::vector<AudioSink*> sinks_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<std::int64_t> frames_{0};
    std::atomic<std::int64_t> late_{0};
};

}  // namespace qkhost
