// The single thread that runs the page's file tasks, one at a time, in the order
// they were queued.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "kit/log.h"

namespace qk::bridge {

class FileWorker {
public:
    using Task = std::function<void()>;

    explicit FileWorker(LogFile log) : log_(std::move(log)) {}
    ~FileWorker() { stopAndJoin(); }
    FileWorker(const FileWorker&) = delete;
    FileWorker& operator=(const FileWorker&) = delete;

    // Starts the thread unless it runs already; false when it cannot be created.
    bool start();
    bool running() const { return thread_.joinable(); }
    // Queues the task; once the stop has begun the task is destroyed unrun.
    void enqueue(Task task);
    // Sets the stop, lets every queued task run, and joins the thread.
    void stopAndJoin();

private:
    void loop();

    LogFile log_;
    std::thread thread_;
    std::mutex queueMutex_;
    std::condition_variable queueSignal_;
    std::deque<Task> fileTaskQueue_;
    bool stopping_ = false;
};

}  // namespace qk::bridge
