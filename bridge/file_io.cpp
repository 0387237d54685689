#include "bridge/file_io.h"

#include <algorithm>
#include <vector>

#include "bridge/paths.h"
#include "platform/files.h"

namespace qk::bridge {

namespace {
// Offsets and counts are 32-bit in the page's decoder; 2 GiB and more is refused
// as a size problem instead of being cut or wrapped.
constexpr std::int64_t kMaxTextFileBytes = 0x7FFFFFFF;
}  // namespace

bool readFileBytes(const std::string& path, std::unique_ptr<char[]>& data, std::size_t& size, std::string& error) {
    auto file = platform::ReadableFile::open(path);
    if (!file) {
        error = "read failed (cannot open)";
        return false;
    }
    const std::int64_t length = file->size();
    if (length < 0 || length > kMaxTextFileBytes) {
        error = "read failed (size)";
        return false;
    }
    const auto want = static_cast<std::size_t>(length);
    data = std::make_unique_for_overwrite<char[]>(want);
    std::size_t done = 0;
    while (done < want) {
        const std::int64_t got = file->read(data.get() + done, std::min(kMaxIoRequestBytes, want - done));
        if (got <= 0) break;  // a short read keeps what arrived
        done += static_cast<std::size_t>(got);
    }
    size = done;
    return true;
}

bool readTextFile(const std::string& path, DecodedText& text, std::string& error) {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    if (!readFileBytes(path, data, size, error)) return false;
    const bool bom = size >= 3 && std::string_view(data.get(), 3) == "\xEF\xBB\xBF";
    text = DecodedText::decode(std::move(data), size, bom ? 3 : 0);
    return true;
}

bool writeFileAtomicIn(platform::Folder& folder, const std::string& name, std::string_view bytes,
                       std::string& error) {
    std::string temp;
    auto file = folder.createReplacement("qkw", name, temp);
    if (!file) {
        error = "write failed (temp)";
        return false;
    }
    auto fail = [&](const char* message) {
        file.reset();
        folder.remove(temp);
        error = message;
        return false;
    };
    // The bytes go through the descriptor the file was made with: nothing put in
    // its place by name afterwards can take them.
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t chunk = std::min(kMaxIoRequestBytes, bytes.size() - done);
        const std::int64_t wrote = file->write(bytes.data() + done, chunk);
        if (wrote <= 0) return fail("write failed");
        done += static_cast<std::size_t>(wrote);
    }
    if (!file->flush()) return fail("write failed");
    file.reset();
    if (!folder.replace(temp, name, /*durable=*/true)) return fail("write failed (replace)");
    return true;
}

bool writeFileAtomic(const std::string& path, std::string_view bytes, std::string& error) {
    auto folder = platform::Folder::open(folderOf(path));
    if (!folder) {
        error = "write failed (temp)";
        return false;
    }
    return writeFileAtomicIn(*folder, nameOf(path), bytes, error);
}

std::unique_ptr<platform::Folder> openCheckedFolder(const std::string& canonicalPath, bool createMissing) {
    std::string path = canonicalPath;
    // Trailing separators go, but not the one of a root ("/", "C:\").
    while (path.size() > 1 && path.back() == platform::kPathSeparator && folderOf(path) != path) path.pop_back();
    if (path.empty() || !isAbsolutePath(path)) return nullptr;
    std::vector<std::string> missing;  // deepest first
    std::unique_ptr<platform::Folder> folder;
    std::string existing = path;
    while (!(folder = platform::Folder::open(existing))) {
        const std::string parent = folderOf(existing);
        if (parent == existing) return nullptr;  // a root that cannot be opened
        missing.push_back(nameOf(existing));
        existing = parent;
    }
    // A canonical path's existing part is its final path; anything else means a
    // link was put in along the way since the check.
    if (folder->finalPath() != existing) return nullptr;
    if (!missing.empty() && !createMissing) return nullptr;
    for (auto name = missing.rbegin(); name != missing.rend() && folder; ++name) folder = folder->subfolder(*name);
    return folder;
}

}  // namespace qk::bridge
