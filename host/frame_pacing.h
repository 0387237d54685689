// The render thread's clock, whatever draws the frames: which frames are
// captured (every N-th, and the first one at or after each requested time), and
// the wait until the next frame is due.
#pragma once

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "host/render_engine.h"

namespace qkhost {

class FramePacing {
public:
    explicit FramePacing(const RenderOptions& options)
        : every_(options.captureEvery),
          pending_(options.captureAt),
          period_(1.0 / options.fps),
          start_(std::chrono::steady_clock::now()) {
        std::sort(pending_.begin(), pending_.end());
    }

    // Asked once a frame is drawn: whether it is one to capture.
    bool wanted(int frame) {
        bool wanted = every_ > 0 && frame % every_ == 0;
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        while (!pending_.empty() && pending_.front() <= t) {
            wanted = true;
            pending_.erase(pending_.begin());
        }
        return wanted;
    }

    // Waits until the next frame is due; true when this frame ended late.
    bool waitForNext(int frame) const {
        const auto due =
            start_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(period_ * (frame + 1));
        const bool late = std::chrono::steady_clock::now() > due;
        std::this_thread::sleep_until(due);
        return late;
    }

private:
    int every_;
    std::vector<double> pending_;
    std::chrono::duration<double> period_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace qkhost
