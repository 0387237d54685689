#include "tests/bridge/interposed_calls.h"

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

namespace qktest {
namespace {

std::mutex mutex;
std::function<void()> pending;
std::vector<SyncedFile> synced;

void runPending() {
    std::function<void()> action;
    {
        std::lock_guard lock(mutex);
        action.swap(pending);
    }
    if (action) action();
}

std::string pathOf(int fd) {
    char buffer[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace

void atNextFileChange(std::function<void()> action) {
    std::lock_guard lock(mutex);
    pending = std::move(action);
}

std::vector<SyncedFile> syncedFiles() {
    std::lock_guard lock(mutex);
    return synced;
}

void clearSyncedFiles() {
    std::lock_guard lock(mutex);
    synced.clear();
}

}  // namespace qktest

extern "C" int fchmod(int fd, mode_t mode) {
    static auto real = reinterpret_cast<int (*)(int, mode_t)>(::dlsym(RTLD_NEXT, "fchmod"));
    qktest::runPending();
    return real(fd, mode);
}

extern "C" int fsync(int fd) {
    static auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    struct stat st {};
    const bool folder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    {
        std::lock_guard lock(qktest::mutex);
        qktest::synced.push_back({qktest::pathOf(fd), folder});
    }
    qktest::runPending();
    return real(fd);
}
