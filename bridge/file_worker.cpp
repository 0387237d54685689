#include "bridge/file_worker.h"

#include <exception>
#include <system_error>

namespace qk::bridge {

bool FileWorker::start() {
    if (thread_.joinable()) return true;
    try {
        thread_ = std::thread([this] { loop(); });
    } catch (const std::system_error& e) {
        log_.logLine("file worker could not start: %s", e.what());
        return false;
    }
    return true;
}

void FileWorker::enqueue(Task task) {
    {
        std::unique_lock lock(queueMutex_);
        if (stopping_) {
            lock.unlock();
            task = nullptr;  // destroyed unrun, outside the lock
            return;
        }
        fileTaskQueue_.push_back(std::move(task));
    }
    queueSignal_.notify_one();
}

void FileWorker::stopAndJoin() {
    {
        std::lock_guard lock(queueMutex_);
        stopping_ = true;
    }
    queueSignal_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void FileWorker::loop() {
    std::unique_lock lock(queueMutex_);
    for (;;) {
        queueSignal_.wait(lock, [this] { return stopping_ || !fileTaskQueue_.empty(); });
        if (fileTaskQueue_.empty()) return;  // stopping, and nothing left to run
        Task task = std::move(fileTaskQueue_.front());
        fileTaskQueue_.pop_front();
        lock.unlock();
        try {
            task();
        } catch (const std::exception& e) {
            log_.logLine("file task failed: %s", e.what());
        } catch (...) {
            log_.logLine("file task failed");
        }
        task = nullptr;
        lock.lock();
    }
}

}  // namespace qk::bridge
