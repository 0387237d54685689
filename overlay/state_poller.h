// The overlay's poller: every 350 ms it reads audience.json and, when the page
// announces new pictures by a version number there, reads and decodes them.
// Everything that touches a file or decodes a picture runs here, never on the
// render thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "kit/log.h"
#include "overlay/overlay_state.h"
#include "platform/image_decoder.h"

namespace qk::overlay {

struct StateFilePaths {
    std::string audience;
    std::string assets;
    std::string slides;
    std::string dance;
};

class StatePoller {
public:
    using DecoderFactory = std::function<std::unique_ptr<platform::ImageDecoder>()>;
    static constexpr std::chrono::milliseconds kInterval{350};

    StatePoller(OverlayState& state, StateFilePaths paths, const LogFile& log,
                DecoderFactory makeDecoder = &platform::ImageDecoder::create,
                std::chrono::milliseconds interval = kInterval);
    ~StatePoller();  // stops the thread
    StatePoller(const StatePoller&) = delete;
    StatePoller& operator=(const StatePoller&) = delete;

    // Starts the thread unless it runs; false when it could not be started.
    bool start();
    // Returns once the thread has ended. The accepted document, the pictures and
    // the versions stay, so a restarted poller repeats no work.
    void stop();
    bool running() const { return thread_.joinable(); }

    // One pass over the four files. Without a decoder no picture is ever loaded.
    void pollOnce(platform::ImageDecoder* decoder);

private:
    void run();
    void pollAudience();
    void pollAssets(platform::ImageDecoder& decoder, std::int32_t version);
    void pollSlides(platform::ImageDecoder& decoder, std::int32_t version);
    void pollDance(platform::ImageDecoder& decoder, std::int32_t version);

    OverlayState& state_;
    const StateFilePaths paths_;
    const LogFile& log_;
    const DecoderFactory makeDecoder_;
    const std::chrono::milliseconds interval_;

    // Versions last acted on; the poller's own, kept across restarts.
    std::int32_t lastAssetsVer_ = -1;
    std::int32_t lastSlidesVer_ = -1;
    std::int32_t lastGfxVer_ = -1;

    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex wakeMutex_;  // only for the sleep, so that stop() wakes the poller at once
    std::condition_variable wake_;
};

}  // namespace qk::overlay
