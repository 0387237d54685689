#include "sound/sound_plugin.h"

#include <chrono>
#include <exception>

#include "kit/author.h"
#include "kit/data_folder.h"
#include "platform/audio_decoder.h"

vdj::Result QuorvaleSound::OnLoad() {
    try {
        qkDir_ = qk::resolveDataFolder(host, "sound.log");
        log_ = qk::LogFile::companion(qk::joinDataPath(qkDir_, "sound.log"));
        inboxPath_ = qk::joinDataPath(qkDir_, "sound-inbox.jsonl");
        statePath_ = qk::joinDataPath(qkDir_, "sound-state.json");
        log_.logLine("OnLoad v1.0.0 - qkDir=%s engineSR=%d", qkDir_.c_str(), static_cast<int>(SampleRate));
        if (!qkDir_.empty() && !worker_.joinable()) {
            board_ = std::make_unique<qk::sound::SoundBoard>(voices_, log_, inboxPath_, statePath_,
                                                             [this] { return rate(); });
            worker_ = std::thread([this] { workerMain(); });
        }
    } catch (const std::exception& e) {
        // Most likely the thread could not be started: the board stays loaded and silent.
        log_.logLine("OnLoad FAILED - %s - no sound will play", e.what());
    } catch (...) {
        log_.logLine("OnLoad FAILED - no sound will play");
    }
    return vdj::kOk;
}

vdj::Result QuorvaleSound::OnGetPluginInfo(vdj::PluginInfo* info) {
    if (info == nullptr) return vdj::kOk;
    info->name = "QuorvaleSound";
    info->author = qk::kCompanionAuthor;
    info->description =
        "QuorvaleKaraoke sound board: plays sound-board audio directly in the master output (no decks, no "
        "sampler). Driven by QuorvaleKaraoke/sound-inbox.jsonl.";
    info->version = "1.0.0";
    info->picture = nullptr;
    info->flags = 0;
    return vdj::kOk;
}

vdj::Result QuorvaleSound::OnStart() {
    log_.logLine("OnStart (active)");
    return vdj::kOk;
}

vdj::Result QuorvaleSound::OnStop() {
    voices_.fadeAll();
    log_.logLine("OnStop (inactive - voices fading)");
    return vdj::kOk;
}

std::uint32_t QuorvaleSound::Release() {
    voices_.silenceAll();  // silence first: no fade, nothing more is heard
    stop_.exchange(true);
    { std::lock_guard lock(pauseMutex_); }
    pauseWake_.notify_all();
    if (worker_.joinable()) worker_.join();
    // A play the worker was finishing when the flag came may have started a voice.
    voices_.silenceAll();
    log_.logLine("Release");
    Destroy();
    return 0;
}

void QuorvaleSound::workerMain() {
    const qk::platform::DecodingThread decoding;
    if (!decoding.started()) log_.logLine("MFStartup FAILED - no sound can be decoded");
    log_.logLine("polling %s", inboxPath_.c_str());
    while (!stop_.load()) {
        try {
            board_->runCycle();
        } catch (const std::exception& e) {
            log_.logLine("inbox cycle FAILED - %s", e.what());
        } catch (...) {
            log_.logLine("inbox cycle FAILED");
        }
        std::unique_lock lock(pauseMutex_);
        pauseWake_.wait_for(lock, std::chrono::milliseconds(kPollMilliseconds), [this] { return stop_.load(); });
    }
}

vdj::Result QuorvaleSound::OnProcessSamples(float* buffer, int frames) {
    if (!firstBlockDone_) {
        log_.logLine("first OnProcessSamples nb=%d sr=%d", frames, static_cast<int>(SampleRate));
        firstBlockDone_ = true;
    }
    voices_.mix(buffer, frames, rate());
    return vdj::kOk;
}
