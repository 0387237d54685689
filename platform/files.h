// Files seam: the file-system calls the system's logic needs, in its own terms.
// Paths are UTF-8. One backend per platform (posix/ here).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// A regular file opened for reading, shared with writers, existing files only.
// Anything else (a folder, a pipe, a socket, a device) fails at once.
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

// A file opened for writing, not shared.
class WritableFile {
public:
    virtual ~WritableFile() = default;
    // One write request of at most `bytes`; the count written, -1 on failure.
    virtual std::int64_t write(const void* from, std::size_t bytes) = 0;
    // Flushes the file's data to the disk.
    virtual bool flush() = 0;
};

// A folder held open. The names given to it are single path components looked up
// in this very folder, whatever happens later to the path it was opened by, and a
// link standing in a name's place is never followed: what was checked is what is
// used.
class Folder {
public:
    // An existing folder; links in the path are followed. Nothing when it cannot be opened.
    static std::unique_ptr<Folder> open(const std::string& path);
    virtual ~Folder() = default;
    // Where the folder held lies now: its final path, every link resolved.
    virtual std::optional<std::string> finalPath() = 0;
    // The subfolder `name`, made first when it is missing. Nothing when it cannot
    // be made or opened, or when anything but a folder (a link too) is in its place.
    virtual std::unique_ptr<Folder> subfolder(const std::string& name) = 0;
    // A new, empty, uniquely named file whose name starts with `prefix`, opened
    // for writing, that is to take the place of the file `target`: it starts with
    // the permissions of the present `target` (and its owner, where the system
    // allows), or the usual ones when there is none. Its name goes to `name`.
    // Nothing when it cannot be created.
    virtual std::unique_ptr<WritableFile> createReplacement(std::string_view prefix, const std::string& target,
                                                            std::string& name) = 0;
    // Renames the file `from` over `to`, replacing what is there in one step;
    // readers of `to` see the old file or the new one, never a mix. With `durable`
    // it returns once the rename itself is on the disk, so that a power cut cannot
    // bring the old file back.
    virtual bool replace(const std::string& from, const std::string& to, bool durable) = 0;
    // Removes the file `name`; a link there is removed itself, never what it points to.
    virtual bool remove(const std::string& name) = 0;
};

// Appends the bytes through a short-lived handle of its own, in one write, so that
// lines from several threads never interleave. False when the file cannot be opened.
bool appendToFile(const std::string& path, std::string_view bytes);

// ---- Paths, attributes and folders for the page's file service ----

// The process's current folder, without a trailing separator (empty on failure).
std::string currentFolder();

// The final path of an existing file or folder: absolute, every link followed.
// Nothing when the path does not exist or cannot be resolved.
std::optional<std::string> realPath(const std::string& path);
// When `path` itself is a symbolic link (even one that points nowhere), the text
// it holds; nothing otherwise. On Windows a junction counts as a link too, and
// the text is the path it holds without the "\??\" the system stores it with.
std::optional<std::string> symlinkTarget(const std::string& path);

#if defined(_WIN32)
// The full path as the system makes it (GetFullPathNameW): absolute, "." and ".."
// folded, relative to the current folder. Nothing when the call fails or the
// path would be 4096 units or longer.
std::optional<std::string> fullPathName(const std::string& path);
// Equal as the file system compares names: ordinal, ignoring case.
bool sameNameIgnoringCase(std::string_view a, std::string_view b);
#endif

struct FileAttributes {
    bool exists = false;
    bool isFolder = false;
    std::uint64_t size = 0;       // bytes; 0 for folders
    std::int64_t mtimeMillis = 0;  // last write, milliseconds since 1970-01-01 UTC
};
// Attributes of a file or folder, links followed; `exists` false when it cannot be read.
FileAttributes fileAttributes(const std::string& path);

struct FolderEntry {
    std::string name;
    bool isFolder = false;  // a link to a folder counts as a folder
};
// The entries of a folder in the order the system returns them, without "." and
// "..". Nothing when the folder cannot be opened.
std::optional<std::vector<FolderEntry>> listFolder(const std::string& path);

// What tells one state of a file from another without reading it: a rewrite
// changes the times or the size, a replacement the file's identity.
struct FileVersion {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t mtimeNanos = 0;  // last write, since 1970-01-01 UTC
    std::int64_t ctimeNanos = 0;  // last change of data or attributes
    bool operator==(const FileVersion&) const = default;
};
// The version of a file (links followed); nothing when it cannot be read.
std::optional<FileVersion> fileVersion(const std::string& path);

// Removes an empty folder.
bool removeFolder(const std::string& path);

// One line of the system's mount table; on Windows one drive letter.
struct MountEntry {
    std::string device;      // "/dev/sda1", "server:/export", "tmpfs"; on Windows the drive's
                             // kind: "fixed", "removable", "ramdisk", "remote", "cdrom", "unknown"
    std::string mountPoint;  // "/", "/media/usb"; on Windows "C:\"
    std::string fsType;      // "ext4", "vfat", "nfs", "iso9660"; on Windows "NTFS", "FAT32"
};
// Every mounted file system (read from /proc/self/mounts on Linux, the drive
// letters on Windows).
std::vector<MountEntry> listMounts();

}  // namespace qk::platform
