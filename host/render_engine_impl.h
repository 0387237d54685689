// What every render engine holds and does the same way, whichever graphics API
// draws: the thread, the effects it calls, the captured frames. Each platform's
// engine derives from it and draws the frames in run().
#pragma once

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/render_engine.h"

namespace qkhost {

struct RenderEngine::Impl : vdj::VideoHostServices {
    RenderOptions options;
    std::vector<vdj::VideoFxPlugin*> plugins;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<std::thread::id> renderThread{};
    mutable std::mutex capturedMutex;
    std::vector<std::string> captured;

    virtual ~Impl() = default;
    // The render thread's body: sets `started` to empty once the device is
    // made (or to the reason it cannot be), then draws until maxFrames or stop.
    virtual void run(std::promise<std::string>& started, std::atomic<int>& frames, std::atomic<int>& late) = 0;

    // The platform's engine.
    static std::unique_ptr<Impl> create();

protected:
    void noteCaptured(const std::string& path) {
        std::lock_guard lock(capturedMutex);
        captured.push_back(path);
    }
};

}  // namespace qkhost
