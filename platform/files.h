// Files seam: the file-system calls the system's logic needs, in its own terms.
// Paths are UTF-8. One backend per platform (posix/ here).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qk::platform {

#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
inline constexpr char kAltPathSeparator = '/';  // turned into kPathSeparator where paths are normalised
#else
inline constexpr char kPathSeparator = '/';
inline constexpr char kAltPathSeparator = '\0';  // none
#endif

// The user's temporary folder, ending with a separator ($TMPDIR, else /tmp/).
std::string tempFolder();
// The user's home folder, without a trailing separator.
std::string homeFolder();

// Creates the folder and its missing parents. True when the folder exists afterwards.
bool createFolders(const std::string& path);
// Size of a regular file; nothing when it does not exist or is not a regular file.
std::optional<std::int64_t> fileSize(const std::string& path);
bool removeFile(const std::string& path);

// A file opened for reading, shared with writers, existing files only.
class ReadableFile {
public:
    static std::unique_ptr<ReadableFile> open(const std::string& path);
    virtual ~ReadableFile() = default;
    // Current size in bytes, or -1.
    virtual std::int64_t size() = 0;
    // One read request of at most `bytes`; the count read, 0 at the end, -1 on failure.
    virtual std::int64_t read(void* into, std::size_t bytes) = 0;
    virtual bool seek(std::int64_t offset) = 0;
};

// A file opened for writing, not shared, created or emptied.
class WritableFile {
public:
    static std::unique_ptr<WritableFile> create(const std::string& path);
    virtual ~WritableFile() = default;
    // One write request of at most `bytes`; the count written, -1 on failure.
    virtual std::int64_t write(const void* from, std::size_t bytes) = 0;
    // Flushes the file's data to the disk.
    virtual bool flush() = 0;
};

// Creates a new, empty, uniquely named file in `folder` whose name starts with
// `prefix`; its path, or nothing when it cannot be created.
std::optional<std::string> createUniqueFile(const std::string& folder, std::string_view prefix);

// Renames `from` over `to`, replacing an existing file in one step; readers of
// `to` see the old file or the new one, never a mix.
bool replaceFile(const std::string& from, const std::string& to);

// Appends the bytes through a short-lived handle of its own, in one write, so that
// lines from several threads never interleave. False when the file cannot be opened.
bool appendToFile(const std::string& path, std::string_view bytes);

}  // namespace qk::platform
