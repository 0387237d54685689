// Files that are not regular files, made for real in a test folder: named pipes,
// listening sockets. A reader that blocks on one of them would hang the test, so
// a pipe can be unblocked from outside once the test has seen what it needed.
#pragma once

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <string>

namespace qktest {

inline bool makeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0644) == 0; }

// A bound Unix socket at `path`; the descriptor is closed with the object.
class SocketFile {
public:
    explicit SocketFile(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (fd_ < 0 || path.size() >= sizeof address.sun_path) return;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd_, 1) == 0;
    }
    ~SocketFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    SocketFile(const SocketFile&) = delete;
    SocketFile& operator=(const SocketFile&) = delete;
    bool bound() const { return bound_; }

private:
    int fd_ = -1;
    bool bound_ = false;
};

// Frees a reader stuck opening or reading the pipe: opens the writing end (which
// completes the reader's open) and closes it again (which ends its read).
inline void releasePipeReaders(const std::string& path) {
    for (int i = 0; i < 50; ++i) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            ::close(fd);
            return;
        }
        ::usleep(10000);
    }
}

// Runs `work` on a thread of its own; true when it ended within `limit`. When it
// did not, the pipe's readers are released until it ends, so the test goes on.
inline bool endsWithin(std::chrono::milliseconds limit, const std::string& pipe, const std::function<void()>& work) {
    auto done = std::async(std::launch::async, work);
    const bool inTime = done.wait_for(limit) == std::future_status::ready;
    while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) releasePipeReaders(pipe);
    return inTime;
}

}  // namespace qktest
