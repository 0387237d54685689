#include "host/audio_engine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>

namespace qkhost {

AudioEngine::AudioEngine(AudioEngineConfig config, std::vector<vdj::DspPlugin*> plugins, Decks* decks,
                         std::vector<AudioSink*> sinks)
    : config_(config), plugins_(std::move(plugins)), decks_(decks), sinks_(std::move(sinks)) {}

AudioEngine::~AudioEngine() {
    stop();
}

void AudioEngine::start() {
    if (thread_.joinable()) return;
    stop_ = false;
    thread_ = std::thread([this] { run(); });
}

void AudioEngine::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void AudioEngine::renderBlock(float* block) {
    std::fill(block, block + static_cast<std::size_t>(config_.blockFrames) * 2, 0.0f);
    // The decks are the DJ host's music: the sound board and any other DSP plug-in
    // hear them in the buffer they process.
    if (decks_ != nullptr) decks_->mixInto(block, config_.blockFrames);
    for (vdj::DspPlugin* p : plugins_) p->OnProcessSamples(block, config_.blockFrames);
}

void AudioEngine::run() {
    try {
        std::vector<float> block(static_cast<std::size_t>(config_.blockFrames) * 2);
        std::vector<AudioSink*> sinks = sinks_;
        const auto blockTime = std::chrono::duration<double>(static_cast<double>(config_.blockFrames) / config_.rate);
        const auto started = std::chrono::steady_clock::now();
        for (std::int64_t n = 0; !stop_.load(); ++n) {
            renderBlock(block.data());
            bool paced = false;
            for (auto it = sinks.begin(); it != sinks.end();) {
                if ((*it)->write(block.data(), config_.blockFrames)) {
                    paced = paced || (*it)->pacesInRealTime();
                    ++it;
                } else {
                    std::fprintf(stderr, "qkhost: an audio output failed; it gets no more blocks\n");
                    it = sinks.erase(it);
                }
            }
            frames_ += config_.blockFrames;
            // Without a device to wait on, the clock keeps the blocks in real time.
            if (!paced) {
                const auto due =
                    started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(blockTime * (n + 1));
                if (std::chrono::steady_clock::now() > due) ++late_;
                std::this_thread::sleep_until(due);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qkhost: the audio thread stopped: %s\n", e.what());
    }
}

}  // namespace qkhost
