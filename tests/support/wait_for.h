// Polls a condition that another thread (or process) makes true.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace qktest {

// True as soon as `done` holds; false when `ms` milliseconds passed first.
inline bool waitFor(const std::function<bool()>& done, int ms = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace qktest
