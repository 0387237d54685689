#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "platform/files.h"

namespace qk::platform {

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
    // Without O_NONBLOCK the open of a named pipe waits for a writer, and a read of
    // a device can wait for ever; what is opened is checked before anything is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
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

namespace {

bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Six letters or digits, as mkstemp makes them.
std::string uniqueSuffix() {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::string suffix(6, 'X');
    for (char& c : suffix) c = kLetters[random() % (sizeof kLetters - 1)];
    return suffix;
}

class PosixFolder final : public Folder {
public:
    explicit PosixFolder(int fd) : fd_(fd) {}
    ~PosixFolder() override { ::close(fd_); }

    std::optional<std::string> finalPath() override {
        std::string target(PATH_MAX, '\0');
        const std::string link = "/proc/self/fd/" + std::to_string(fd_);
        const ssize_t n = ::readlink(link.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size() || target[0] != '/') return std::nullopt;
        target.resize(static_cast<size_t>(n));
        return target;
    }

    std::unique_ptr<Folder> subfolder(const std::string& name) override {
        if (!isPlainName(name)) return nullptr;
        ::mkdirat(fd_, name.c_str(), 0777);  // an existing folder is fine; the open tells
        const int fd = ::openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return nullptr;
        return std::make_unique<PosixFolder>(fd);
    }

    std::unique_ptr<WritableFile> createReplacement(std::string_view prefix, const std::string& target,
                                                    std::string& name) override {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string candidate = std::string(prefix) + uniqueSuffix();
            // O_EXCL never follows a link; the mode is the usual one for new files.
            const int fd = ::openat(fd_, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd >= 0) {
                keepAccessOf(target, fd);
                name = std::move(candidate);
                return std::make_unique<PosixWritableFile>(fd);
            }
            if (errno != EEXIST) return nullptr;
        }
        return nullptr;
    }

    bool replace(const std::string& from, const std::string& to, bool durable) override {
        if (!isPlainName(from) || !isPlainName(to)) return false;
        if (::renameat(fd_, from.c_str(), fd_, to.c_str()) != 0) return false;
        // The rename is a change of the folder, on the disk only once the folder is.
        return !durable || ::fsync(fd_) == 0;
    }

    bool remove(const std::string& name) override {
        return isPlainName(name) && ::unlinkat(fd_, name.c_str(), 0) == 0;
    }

private:
    // The owner first: a change of owner clears the set-id bits the mode then restores.
    void keepAccessOf(const std::string& target, int fd) {
        struct stat st {};
        if (!isPlainName(target) || ::fstatat(fd_, target.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode))
            return;
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Not ours to give away; the file stays the writer's, with the old mode.
        }
        ::fchmod(fd, st.st_mode & 07777);
    }

    int fd_;
};

}  // namespace

std::unique_ptr<Folder> Folder::open(const std::string& path) {
    const int fd = ::open(path.empty() ? "" : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixFolder>(fd);
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

std::string currentFolder() {
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return {};
    return buffer;
}

std::optional<std::string> realPath(const std::string& path) {
    if (path.empty()) return std::nullopt;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return std::nullopt;
    std::string out = resolved;
    std::free(resolved);
    return out;
}

std::optional<std::string> symlinkTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return std::nullopt;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return std::nullopt;
    target.resize(static_cast<size_t>(n));
    return target;
}

FileAttributes fileAttributes(const std::string& path) {
    FileAttributes a;
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return a;
    a.exists = true;
    a.isFolder = S_ISDIR(st.st_mode);
    a.size = a.isFolder ? 0 : static_cast<std::uint64_t>(st.st_size);
    a.mtimeMillis = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    return a;
}

std::optional<std::vector<FolderEntry>> listFolder(const std::string& path) {
    DIR* dir = ::opendir(path.empty() ? "" : path.c_str());
    if (dir == nullptr) return std::nullopt;
    std::vector<FolderEntry> entries;
    const std::string prefix = (!path.empty() && path.back() == '/') ? path : path + "/";
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        bool folder = e->d_type == DT_DIR;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st {};
            folder = ::stat((prefix + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back({name, folder});
    }
    ::closedir(dir);
    return entries;
}

std::optional<FileVersion> fileVersion(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    FileVersion v;
    v.device = static_cast<std::uint64_t>(st.st_dev);
    v.inode = static_cast<std::uint64_t>(st.st_ino);
    v.size = static_cast<std::int64_t>(st.st_size);
    v.mtimeNanos = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    v.ctimeNanos = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return v;
}

bool removeFolder(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

namespace {
// The mount table writes blanks, tabs, new lines and backslashes as \ooo.
std::string unescapeMountField(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}
}  // namespace

std::vector<MountEntry> listMounts() {
    std::vector<MountEntry> mounts;
    FILE* table = std::fopen("/proc/self/mounts", "re");
    if (table == nullptr) return mounts;
    char line[4096];
    while (std::fgets(line, sizeof line, table) != nullptr) {
        char device[1024], point[1024], type[256];
        if (std::sscanf(line, "%1023s %1023s %255s", device, point, type) != 3) continue;
        mounts.push_back({unescapeMountField(device), unescapeMountField(point), type});
    }
    std::fclose(table);
    return mounts;
}

}  // namespace qk::platform
