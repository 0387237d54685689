// The page's file actions, run one at a time on the file worker, and the write
// roots that confine writing, creating and deleting.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "bridge/text_decode.h"
#include "kit/json_access.h"
#include "kit/log.h"
#include "platform/files.h"

namespace qk::bridge {

inline constexpr std::size_t kMaxReadChunkUnits = 0x400000;  // UTF-16 units per "readfile" answer

// The folders the page may write in, replaced as a whole by "set_write_roots".
// Checks work on a copy; the lock is never held while the disk is touched.
class WriteRoots {
public:
    // Replaces the list and logs the new count, both under the lock.
    void replace(std::vector<std::string> roots, const LogFile& log);
    std::vector<std::string> copy() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> roots_;
};

// True for the files the page may delete: its backups ("QuorvaleKaraoke-backup-"
// ... ".json") and the end-show marker, case ignored.
bool isDeletableName(const std::string& name);

// A path the page sends may hold a NUL, which no file name can: such a path is
// refused before anything reaches the disk.
inline bool holdsNul(std::string_view path) { return path.find('\0') != std::string_view::npos; }

// The roots "drives" lists: "/" and the mounted local disks, fixed or removable;
// network, optical and image file systems and the system's own trees are left out.
std::vector<std::string> localDriveRoots(const std::vector<platform::MountEntry>& mounts);
// The same on Windows: the fixed, removable and RAM drives as "C:", network and
// optical drives left out.
std::vector<std::string> windowsDriveRoots(const std::vector<platform::MountEntry>& mounts);

class FileService {
public:
    FileService(const WriteRoots& roots, LogFile log) : roots_(roots), log_(std::move(log)) {}

    // "readfile", "writefile", "statfile", "listdir", "mkdir", "deletefile" or
    // "drives" for the request; the answer object. File worker only.
    Json run(const Json& request, const std::string& action, const std::string& id);

private:
    Json readFile(const std::string& path, const Json& request, const std::string& id);
    Json writeFile(const std::string& path, const Json& request, const std::string& id);
    Json listFolder(const std::string& path, const std::string& id);
    Json drives(const std::string& id);
    Json refuseNul(const std::string& given, const std::string& action, const std::string& id);
    Json refuseDevice(const std::string& given, const std::string& action, const std::string& id);
    // The answer each action gives for a path that names nothing it could use.
    static Json unusablePathAnswer(const std::string& action, const std::string& id);
    const DecodedText* readText(const std::string& path, DecodedText& fresh, std::string& error);

    const WriteRoots& roots_;
    LogFile log_;

    // The page reads a large file as a run of chunks, and every chunk needs the
    // whole decoded text. The text of the file being read is kept until its last
    // chunk is served, for as long as the file provably has not changed.
    struct CachedText {
        std::string path;
        platform::FileVersion version;
        DecodedText text;
    };
    std::optional<CachedText> cache_;
};

}  // namespace qk::bridge
