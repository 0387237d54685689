// When a qkhost run ends: after its time, on SIGINT or SIGTERM, or when a thread
// of the host asks (a window closed, say).
#pragma once

#include <atomic>

namespace qkhost {

class StopRequest {
public:
    // Routes SIGINT and SIGTERM to every StopRequest. Call before starting threads.
    static void installSignalHandlers();

    // Waits until `seconds` passed (none: no limit), a signal came or stop() was
    // called. True when it ended early.
    bool wait(double seconds);
    void stop() { requested_ = true; }

private:
    std::atomic<bool> requested_{false};
};

}  // namespace qkhost
