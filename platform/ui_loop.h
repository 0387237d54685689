// UI-loop seam: windows and web views are created on the thread that asks for
// them, which becomes the UI thread; other threads reach that thread only by
// posting records to a window. GTK main loop here, window messages on Windows.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace qk::platform {

class Window;
class WebViewEnvironment;
struct WindowOptions;

// A record handed from any thread to the UI thread through a window.
class PostedRecord {
public:
    virtual ~PostedRecord() = default;
};

// Where other threads post records for one window. It is shared with every
// thread that may post, and outlives the window: once the window is destroyed a
// post fails instead of reaching freed memory.
class PostTarget {
public:
    virtual ~PostTarget() = default;
    // Any thread. True when the record is queued for the window's events (which
    // take it on the UI thread) or for a later drain. False when the window is
    // gone or the queue refused it: the record has then been destroyed.
    virtual bool post(int message, std::unique_ptr<PostedRecord> record) = 0;
};

class UiLoop {
public:
    virtual ~UiLoop() = default;

    // Creates a hidden top-level window on the calling thread. Null on failure,
    // with the system's error code in *error.
    virtual std::unique_ptr<Window> createWindow(const WindowOptions& options, unsigned long* error) = 0;

    // The installed web engine's version text; empty when there is none.
    virtual std::string webEngineVersion() = 0;

    // Starts the web engine with its profile in `userDataFolder` (empty: the
    // engine's default). Asynchronous: `done` runs later on the UI thread with 0
    // and the environment, or a failure code and null. A failure to even start
    // returns that code at once and `done` never runs; 0 otherwise.
    using EnvironmentDone = std::function<void(long result, std::shared_ptr<WebViewEnvironment> environment)>;
    virtual long createWebViewEnvironment(const std::string& userDataFolder, EnvironmentDone done) = 0;
};

// The UI loop of the platform this deliverable was built for; null when the build
// has no UI backend (the plug-in then runs without windows).
std::unique_ptr<UiLoop> createUiLoop();

}  // namespace qk::platform
