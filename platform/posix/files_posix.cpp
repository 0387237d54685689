#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/files.h"

namespace qk::platform {

namespace {
// mkstemp creates files readable by the owner only; the data folder's files are
// shared with the other plug-ins and the page, so they get the usual mode.
mode_t currentUmask() {
    static const mode_t mask = [] {
        const mode_t m = ::umask(022);
        ::umask(m);
        return m;
    }();
    return mask;
}
}  // namespace

std::string tempFolder() {
    const char* t = std::getenv("TMPDIR");
    std::string dir = (t != nullptr && *t != '\0') ? t : "/tmp";
    if (dir.back() != '/') dir += '/';
    return dir;
}

std::string homeFolder() {
    const char* h = std::getenv("HOME");
    std::string dir = (h != nullptr && *h != '\0') ? h : "/";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

bool createFolders(const std::string& path) {
    if (path.empty()) return false;
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty()) continue;
        if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) {
            // A parent we may not create can still exist; only the end result counts.
        }
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::int64_t> fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::int64_t>(st.st_size);
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

namespace {

class PosixReadableFile final : public ReadableFile {
public:
    explicit PosixReadableFile(int fd) : fd_(fd) {}
    ~PosixReadableFile() override { ::close(fd_); }
    std::int64_t size() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return -1;
        return static_cast<std::int64_t>(st.st_size);
    }
    std::int64_t read(void* into, std::size_t bytes) override {
        for (;;) {
            const ssize_t n = ::read(fd_, into, bytes);
            if (n < 0 && errno == EINTR) continue;
            return n;
        }
    }
    bool seek(std::int64_t offset) override { return ::lseek(fd_, offset, SEEK_SET) == offset; }

private:
    int fd_;
};

}  // namespace

std::unique_ptr<ReadableFile> ReadableFile::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixReadableFile>(fd);
}

namespace {

class PosixWritableFile final : public WritableFile {
public:
    explicit PosixWritableFile(int fd) : fd_(fd) {}
    ~PosixWritableFile() override { ::close(fd_); }
    std::int64_t write(const void* from, std::size_t bytes) override {
        for (;;) {
            const ssize_t n = ::write(fd_, from, bytes);
            if (n < 0 && errno == EINTR) continue;
            return n;
        }
    }
    bool flush() override { return ::fsync(fd_) == 0; }

private:
    int fd_;
};

}  // namespace

std::unique_ptr<WritableFile> WritableFile::create(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixWritableFile>(fd);
}

std::optional<std::string> createUniqueFile(const std::string& folder, std::string_view prefix) {
    std::string templ = folder.empty() ? std::string(".") : folder;
    if (templ.back() != '/') templ += '/';
    templ += prefix;
    templ += "XXXXXX";
    const int fd = ::mkstemp(templ.data());
    if (fd < 0) return std::nullopt;
    ::fchmod(fd, 0666 & ~currentUmask());
    ::close(fd);
    return templ;
}

bool replaceFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool appendToFile(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    size_t done = 0;
    bool ok = true;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return ok;
}

}  // namespace qk::platform
