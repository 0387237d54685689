// The host's real-time audio thread: block after block of the master output, from
// silence or a music track, through every DSP plug-in, to the sinks.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "host/audio_sink.h"
#include "kit/vdj_plugin.h"

namespace qkhost {

struct AudioEngineConfig {
    int rate = 48000;
    int blockFrames = 512;
};

class AudioEngine {
public:
    // `music` is interleaved stereo at the engine's rate; after its end the output
    // starts from silence. Plug-ins and sinks must outlive the engine's thread.
    AudioEngine(AudioEngineConfig config, std::vector<vdj::DspPlugin*> plugins, std::vector<float> music,
                std::vector<AudioSink*> sinks);
    ~AudioEngine();  // stops the thread

    void start();
    // Ends the thread after its current block and waits for it; no plug-in is
    // called after it returns.
    void stop();

    std::int64_t framesRendered() const { return frames_.load(); }

private:
    void run();
    void renderBlock(float* block, std::int64_t firstFrame);

    AudioEngineConfig config_;
    std::vector<vdj::DspPlugin*> plugins_;
    std::vector<float> music_;
    std::vector<AudioSink*> sinks_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<std::int64_t> frames_{0};
};

}  // namespace qkhost
