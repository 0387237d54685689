// The host's UI thread: a thread of its own that runs the GTK main loop, as the
// DJ host's main thread does. The plug-ins' windows and web views are created on
// it (the host calls OnGetUserInterface, OnStart, OnParameter, OnStop and
// Release there) and the records other threads post to a window arrive on it.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace qkhost {

class UiThread {
public:
    UiThread();
    ~UiThread();  // stops the loop if it still runs
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    // Starts the thread and opens the display. False, with the reason, when this
    // build has no toolkit or no display can be opened; nothing runs then.
    bool start(std::string* error);
    bool running() const;

    // Runs `fn` on the UI thread and waits for it. Exceptions are caught there.
    void run(const std::function<void()>& fn);
    // Runs `fn` on the UI thread `seconds` from now (if the loop still runs then).
    void runAfter(double seconds, std::function<void()> fn);

    // Quits the main loop and joins the thread. Safe to call more than once.
    void stop();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace qkhost
