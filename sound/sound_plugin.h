// QuorvaleSound: the sound board, a DSP plug-in on the master output. A worker
// thread tails the inbox and starts voices; the host's audio thread mixes them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "kit/log.h"
#include "kit/vdj_plugin.h"
#include "sound/sound_board.h"
#include "sound/sound_rate.h"
#include "sound/voices.h"

class QuorvaleSound final : public vdj::DspPlugin {
public:
    QuorvaleSound() = default;

    vdj::Result VDJ_API OnLoad() override;
    vdj::Result VDJ_API OnGetPluginInfo(vdj::PluginInfo* info) override;
    std::uint32_t VDJ_API Release() override;
    void VDJ_API Destroy() override { delete this; }
    vdj::Result VDJ_API OnStart() override;
    vdj::Result VDJ_API OnStop() override;
    vdj::Result VDJ_API OnProcessSamples(float* buffer, int frames) override;

    // For tests and the host's view: the voices as the audio thread sees them.
    const qk::sound::Voices& voices() const { return voices_; }
    bool workerRunning() const { return worker_.joinable(); }

    static constexpr int kPollMilliseconds = 150;

private:
    ~QuorvaleSound() = default;
    void workerMain();
    int rate() const { return qk::sound::effectiveRate(SampleRate); }

    std::string qkDir_;
    qk::LogFile log_;
    std::string inboxPath_;
    std::string statePath_;
    std::thread worker_;
    std::atomic<bool> stop_{false};
    // Only lets Release cut the worker's pause short; it guards no shared state.
    std::mutex pauseMutex_;
    std::condition_variable pauseWake_;
    qk::sound::Voices voices_;
    std::unique_ptr<qk::sound::SoundBoard> board_;  // the worker's; the cache lives in it
    bool firstBlockDone_ = false;                   // audio thread only
};
