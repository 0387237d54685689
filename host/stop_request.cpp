#include "host/stop_request.h"

#include <csignal>

#include <chrono>
#include <thread>

namespace qkhost {

namespace {
volatile sig_atomic_t gSignalled = 0;
void onSignal(int) {
    gSignalled = 1;
}
}  // namespace

void StopRequest::installSignalHandlers() {
#if defined(_WIN32)
    // Ctrl+C and Ctrl+Break in the console; the C library keeps the handler.
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGBREAK, onSignal);
#else
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
#endif
}

bool StopRequest::wait(double seconds) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    // A signal handler may do next to nothing, so the flag is looked at often
    // rather than waking a condition variable.
    while (!gSignalled && !requested_.load()) {
        if (seconds > 0 && Clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace qkhost
