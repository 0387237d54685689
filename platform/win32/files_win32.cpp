// The files seam on the wide-character Win32 API: every UTF-8 path is turned into
// UTF-16 for the call, every name handed back into UTF-8.
#include <windows.h>
#include <winioctl.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <limits>
#include <string>

#include "platform/files.h"
#include "platform/win32/wide_path.h"

namespace qk::platform {

using win32::narrow;
using win32::widen;

namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::int64_t unixNanos(const FILETIME& t) { return (win32::fileTimeTicks(t) - win32::kTicksFrom1601To1970) * 100; }
std::int64_t unixNanos(const LARGE_INTEGER& t) { return (t.QuadPart - win32::kTicksFrom1601To1970) * 100; }

bool isFolderAt(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Reads and writes are cut to what one Win32 call takes.
DWORD oneRequest(std::size_t bytes) {
    return static_cast<DWORD>(std::min<std::size_t>(bytes, std::numeric_limits<DWORD>::max() / 2));
}

}  // namespace

std::string tempFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH) return {};
    std::string dir = narrow(std::wstring_view(buffer, n));
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    return dir;
}

std::string homeFolder() {
    wchar_t buffer[32768];
    const DWORD n = ::GetEnvironmentVariableW(L"USERPROFILE", buffer, 32768);
    std::string dir = (n > 0 && n < 32768) ? narrow(std::wstring_view(buffer, n)) : std::string("C:\\");
    while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    return dir;
}

bool createFolders(const std::string& path) {
    if (path.empty()) return false;
    const std::wstring wide = widen(path);
    // Each prefix that ends before a separator, then the whole path; a drive ("C:")
    // or a share cannot be created and need not be.
    for (size_t i = 1; i <= wide.size(); ++i) {
        if (i < wide.size() && !isSeparator(wide[i])) continue;
        if (isSeparator(wide[i - 1])) continue;
        ::CreateDirectoryW(wide.substr(0, i).c_str(), nullptr);  // an existing folder is fine
    }
    return isFolderAt(wide);
}

std::optional<std::int64_t> fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::nullopt;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

bool removeFile(const std::string& path) { return ::DeleteFileW(widen(path).c_str()) != 0; }

namespace {

class Win32ReadableFile final : public ReadableFile {
public:
    explicit Win32ReadableFile(HANDLE h) : h_(h) {}
    ~Win32ReadableFile() override { ::CloseHandle(h_); }
    std::int64_t size() override {
        LARGE_INTEGER s;
        return ::GetFileSizeEx(h_, &s) ? s.QuadPart : -1;
    }
    std::int64_t read(void* into, std::size_t bytes) override {
        DWORD got = 0;
        if (!::ReadFile(h_, into, oneRequest(bytes), &got, nullptr)) return -1;
        return got;
    }
    bool seek(std::int64_t offset) override {
        LARGE_INTEGER to;
        to.QuadPart = offset;
        return offset >= 0 && ::SetFilePointerEx(h_, to, nullptr, FILE_BEGIN) != 0;
    }

private:
    HANDLE h_;
};

class Win32WritableFile final : public WritableFile {
public:
    explicit Win32WritableFile(HANDLE h) : h_(h) {}
    ~Win32WritableFile() override { ::CloseHandle(h_); }
    std::int64_t write(const void* from, std::size_t bytes) override {
        DWORD done = 0;
        if (!::WriteFile(h_, from, oneRequest(bytes), &done, nullptr)) return -1;
        return done;
    }
    bool flush() override { return ::FlushFileBuffers(h_) != 0; }

private:
    HANDLE h_;
};

}  // namespace

std::unique_ptr<ReadableFile> ReadableFile::open(const std::string& path) {
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open.
    // Should the name reach a pipe after all, its server gets to identify the
    // caller, never to act as it.
    const HANDLE h = ::CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    // A pipe, a console or a device opens too: only files on a disk are read.
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        return nullptr;
    }
    return std::make_unique<Win32ReadableFile>(h);
}

namespace {

// The final path of what the handle holds, in the everyday form ("C:\\..." or
// "\\\\server\\share\\..."), without the long-path prefix the call answers with.
std::optional<std::string> finalPathOf(HANDLE h) {
    std::wstring out(MAX_PATH, L'\0');
    DWORD n = ::GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()), FILE_NAME_NORMALIZED);
    if (n >= out.size()) {
        out.resize(n + 1);
        n = ::GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()), FILE_NAME_NORMALIZED);
    }
    if (n == 0 || n >= out.size()) return std::nullopt;
    out.resize(n);
    if (out.rfind(L"\\\\?\\UNC\\", 0) == 0)
        out = L"\\\\" + out.substr(8);
    else if (out.rfind(L"\\\\?\\", 0) == 0)
        out = out.substr(4);
    return narrow(out);
}

// A name that stays in the folder it is given to: one component, no "." or "..".
bool isPlainName(std::wstring_view name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    for (const wchar_t c : name)
        if (c == L'\\' || c == L'/' || c == L':' || c == L'\0') return false;
    return true;
}

// An open folder handle, or nothing when the path holds anything else. With
// `ownLinkOnly` a link in the path's last place is opened itself, and refused.
HANDLE openFolderHandle(const std::wstring& path, bool ownLinkOnly) {
    // Not shared for deletion: while it is held, the folder (and so every folder
    // above it) cannot be renamed or removed, and its path keeps naming it.
    const HANDLE h = ::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | (ownLinkOnly ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    const bool folder = ::GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                        (!ownLinkOnly || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0);
    if (!folder) {
        ::CloseHandle(h);
        return nullptr;
    }
    return h;
}

class Win32Folder final : public Folder {
public:
    Win32Folder(HANDLE h, std::wstring path) : h_(h), path_(std::move(path)) {
        if (!path_.empty() && !isSeparator(path_.back())) path_ += L'\\';
    }
    ~Win32Folder() override { ::CloseHandle(h_); }

    std::optional<std::string> finalPath() override { return finalPathOf(h_); }

    std::unique_ptr<Folder> subfolder(const std::string& name) override {
        const std::wstring wide = widen(name);
        if (!isPlainName(wide)) return nullptr;
        const std::wstring child = path_ + wide;
        ::CreateDirectoryW(child.c_str(), nullptr);  // an existing folder is fine
        const HANDLE h = openFolderHandle(child, /*ownLinkOnly=*/true);
        if (!h) return nullptr;
        return std::make_unique<Win32Folder>(h, child);
    }

    std::unique_ptr<WritableFile> createReplacement(std::string_view prefix, const std::string&,
                                                    std::string& name) override {
        // A new file takes the permissions the folder hands down, as any file made
        // there does; the target's own list is not carried over.
        static std::atomic<std::uint32_t> counter{0};
        static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
        if (!isPlainName(widen(std::string(prefix) + "x"))) return nullptr;
        for (int attempt = 0; attempt < 100; ++attempt) {
            // Six characters from the time, the process and a counter, like mkstemp's.
            std::uint64_t seed = static_cast<std::uint64_t>(::GetTickCount64()) * 2654435761u ^
                                 (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 20) ^ (counter++ * 40503u);
            std::string candidate(prefix);
            for (int i = 0; i < 6; ++i, seed /= 36) candidate += kDigits[seed % 36];
            const HANDLE h = ::CreateFileW((path_ + widen(candidate)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                name = candidate;
                return std::make_unique<Win32WritableFile>(h);
            }
            if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) return nullptr;
        }
        return nullptr;
    }

    bool replace(const std::string& from, const std::string& to, bool durable) override {
        const std::wstring a = widen(from), b = widen(to);
        if (!isPlainName(a) || !isPlainName(b)) return false;
        const std::wstring source = path_ + a, target = path_ + b;
        const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
        // A reader that has the target open (the page reading the state file, say)
        // makes the replacement fail for as long as it holds it, which is a moment:
        // try again for up to half a second before giving up.
        for (int attempt = 0;; ++attempt) {
            if (::MoveFileExW(source.c_str(), target.c_str(), flags)) return true;
            const DWORD error = ::GetLastError();
            if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt >= 500) return false;
            ::Sleep(attempt < 10 ? 0 : 1);
        }
    }

    bool remove(const std::string& name) override {
        const std::wstring wide = widen(name);
        if (!isPlainName(wide)) return false;
        const std::wstring child = path_ + wide;
        // A link to a folder is removed as a folder entry; either way the link
        // itself goes, never what it points to.
        const DWORD a = ::GetFileAttributesW(child.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && (a & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return ::RemoveDirectoryW(child.c_str()) != 0;
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
        return ::DeleteFileW(child.c_str()) != 0;
    }

private:
    HANDLE h_;
    std::wstring path_;
};

}  // namespace

std::unique_ptr<Folder> Folder::open(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return nullptr;
    const std::wstring wide = widen(path);
    const HANDLE h = openFolderHandle(wide, /*ownLinkOnly=*/false);
    if (!h) return nullptr;
    return std::make_unique<Win32Folder>(h, wide);
}

namespace {
// Wine places a write on an append-only handle at the end it saw when the write
// began, so two threads appending at once can land on the same place and one
// line is lost; Windows itself appends atomically. Appends from this module wait
// for each other, which costs nothing against the file system's own time.
std::mutex appendOrder;
}  // namespace

bool appendToFile(const std::string& path, std::string_view bytes) {
    const std::lock_guard<std::mutex> one(appendOrder);
    // FILE_APPEND_DATA alone: every write lands at the end, whoever else appends.
    // Opens that meet another thread's open of the same new file can be refused
    // for a moment; those are tried again briefly.
    const std::wstring wide = widen(path);
    HANDLE h = INVALID_HANDLE_VALUE;
    // The wait is by the clock, not by a count of tries: a loaded machine can keep
    // the other thread's open going for longer than a few scheduler turns.
    const ULONGLONG giveUpAt = ::GetTickCount64() + 500;
    for (int attempt = 0; h == INVALID_HANDLE_VALUE; ++attempt) {
        h = ::CreateFileW(wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) break;
        const DWORD error = ::GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || ::GetTickCount64() > giveUpAt)
            return false;
        ::Sleep(attempt < 5 ? 0 : 1);
    }
    bool ok = true;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        DWORD n = 0;
        ok = ::WriteFile(h, bytes.data() + done, oneRequest(bytes.size() - done), &n, nullptr) && n > 0;
        done += n;
    }
    ::CloseHandle(h);
    return ok;
}

std::string currentFolder() {
    const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return {};
    std::wstring dir(n, L'\0');
    const DWORD got = ::GetCurrentDirectoryW(n, dir.data());
    if (got == 0 || got >= n) return {};
    dir.resize(got);
    while (dir.size() > 3 && isSeparator(dir.back())) dir.pop_back();
    return narrow(dir);
}

std::optional<std::string> realPath(const std::string& path) {
    if (path.empty()) return std::nullopt;
    // No access asked for: folders, files held without sharing and files the user
    // may not read all open, and nothing is read.
    const HANDLE h = ::CreateFileW(widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    auto out = finalPathOf(h);
    ::CloseHandle(h);
    return out;
}

namespace {

// The reparse data of a symbolic link or a junction, as the file system stores
// it (the layout of the driver kit's REPARSE_DATA_BUFFER, which the user-mode
// headers leave out).
struct LinkReparseData {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substituteOffset;  // bytes into the path buffer
    WORD substituteLength;
    WORD printOffset;
    WORD printLength;
    // A symbolic link has a ULONG of flags here, a junction its path buffer.
};
constexpr DWORD kSymlinkRelative = 1;

}  // namespace

std::optional<std::string> symlinkTarget(const std::string& path) {
    if (path.empty()) return std::nullopt;
    const std::wstring wide = widen(path);
    // The attributes of the name itself (a link is not followed here), so that
    // only reparse points are opened.
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return std::nullopt;
    const HANDLE h = ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    alignas(8) unsigned char buffer[MAXIMUM_REPARSE_DATA_BUFFER_SIZE];
    DWORD got = 0;
    const bool ok = ::DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer, sizeof buffer, &got, nullptr) != 0;
    ::CloseHandle(h);
    if (!ok || got < sizeof(LinkReparseData)) return std::nullopt;
    LinkReparseData head;
    std::memcpy(&head, buffer, sizeof head);
    // Other reparse points (cloud placeholders, deduplicated files) are files in
    // their own place, not links.
    std::size_t names = sizeof head;
    DWORD flags = 0;
    if (head.tag == IO_REPARSE_TAG_SYMLINK) {
        if (got < names + sizeof flags) return std::nullopt;
        std::memcpy(&flags, buffer + names, sizeof flags);
        names += sizeof flags;
    } else if (head.tag != IO_REPARSE_TAG_MOUNT_POINT) {
        return std::nullopt;
    }
    // The substitute name is what the system follows; the print name is for people
    // and may be empty.
    const std::size_t from = names + head.substituteOffset, bytes = head.substituteLength;
    if (bytes == 0 || from + bytes > got || bytes % sizeof(wchar_t) != 0) return std::nullopt;
    std::wstring target(bytes / sizeof(wchar_t), L'\0');
    std::memcpy(target.data(), buffer + from, bytes);
    if ((flags & kSymlinkRelative) == 0) {
        if (target.rfind(L"\\??\\UNC\\", 0) == 0)
            target = L"\\\\" + target.substr(8);
        else if (target.rfind(L"\\??\\", 0) == 0)
            target = target.substr(4);
    }
    return narrow(target);
}

std::optional<std::string> fullPathName(const std::string& path) {
    if (path.empty()) return std::nullopt;
    constexpr DWORD kUnits = 4096;
    std::wstring out(kUnits, L'\0');
    const DWORD n = ::GetFullPathNameW(widen(path).c_str(), kUnits, out.data(), nullptr);
    if (n == 0 || n >= kUnits) return std::nullopt;
    out.resize(n);
    return narrow(out);
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    const std::wstring x = widen(a), y = widen(b);
    if (x.size() > 0x7FFFFFFF || y.size() > 0x7FFFFFFF) return false;
    return ::CompareStringOrdinal(x.data(), static_cast<int>(x.size()), y.data(), static_cast<int>(y.size()), TRUE) ==
           CSTR_EQUAL;
}

FileAttributes fileAttributes(const std::string& path) {
    FileAttributes a;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.empty() || !::GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data)) return a;
    a.exists = true;
    a.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    a.size = a.isFolder ? 0 : (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    a.mtimeMillis = unixNanos(data.ftLastWriteTime) / 1000000;
    return a;
}

std::optional<std::vector<FolderEntry>> listFolder(const std::string& path) {
    std::wstring pattern = widen(path);
    if (!pattern.empty() && !isSeparator(pattern.back())) pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    const HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        // An empty folder has "." and ".." on Windows; Wine finds nothing at all
        // there. Only a missing or unreadable folder fails.
        if (::GetLastError() == ERROR_FILE_NOT_FOUND && isFolderAt(widen(path))) return std::vector<FolderEntry>{};
        return std::nullopt;
    }
    std::vector<FolderEntry> entries;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back({narrow(name), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return entries;
}

std::optional<FileVersion> fileVersion(const std::string& path) {
    if (path.empty()) return std::nullopt;
    const HANDLE h = ::CreateFileW(widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO basic;
    const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
    const bool haveBasic = ::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) != 0;
    ::CloseHandle(h);
    if (!ok) return std::nullopt;
    FileVersion v;
    v.device = info.dwVolumeSerialNumber;
    v.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    v.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    v.mtimeNanos = unixNanos(info.ftLastWriteTime);
    v.ctimeNanos = haveBasic ? unixNanos(basic.ChangeTime) : v.mtimeNanos;
    return v;
}

bool removeFolder(const std::string& path) { return ::RemoveDirectoryW(widen(path).c_str()) != 0; }

std::vector<MountEntry> listMounts() {
    // Windows has no mount table: each drive letter's root is a mount point.
    std::vector<MountEntry> mounts;
    wchar_t drives[512];
    const DWORD n = ::GetLogicalDriveStringsW(511, drives);
    if (n == 0 || n > 511) return mounts;
    for (const wchar_t* d = drives; *d != L'\0'; d += wcslen(d) + 1) {
        const char* kind = "unknown";
        switch (::GetDriveTypeW(d)) {
            case DRIVE_FIXED: kind = "fixed"; break;
            case DRIVE_REMOVABLE: kind = "removable"; break;
            case DRIVE_RAMDISK: kind = "ramdisk"; break;
            case DRIVE_REMOTE: kind = "remote"; break;
            case DRIVE_CDROM: kind = "cdrom"; break;
            default: break;
        }
        // The file system's name is asked for only where it is at hand: an empty
        // card reader or a lost network drive would make the call wait.
        wchar_t fs[MAX_PATH + 1] = L"";
        if (std::string_view(kind) == "fixed" || std::string_view(kind) == "ramdisk")
            ::GetVolumeInformationW(d, nullptr, 0, nullptr, nullptr, nullptr, fs, MAX_PATH + 1);
        mounts.push_back({kind, narrow(d), narrow(fs)});
    }
    return mounts;
}

}  // namespace qk::platform
