#include "bridge/file_service.h"

#include <algorithm>
#include <cctype>

#include "bridge/file_io.h"
#include "bridge/paths.h"
#include "bridge/protocol.h"
#include "kit/text.h"
#include "platform/clock.h"

namespace qk::bridge {

namespace {

const char kRefusedOutside[] = "refused: path is outside the allowed QuorvaleKaraoke write folders";

bool startsWithNoCase(const std::string& s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

bool equalsNoCase(const std::string& s, std::string_view other) {
    return s.size() == other.size() && startsWithNoCase(s, other);
}

bool endsWithNoCase(const std::string& s, std::string_view suffix) {
    return s.size() >= suffix.size() && equalsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

bool isUnder(const std::string& path, std::string_view tree) {
    return path == tree || (path.size() > tree.size() && path.compare(0, tree.size(), tree) == 0 &&
                            path[tree.size()] == '/');
}

// A file that changed in the last moments may change again within the time
// stamps' resolution without a visible difference; only older ones are cached.
constexpr std::int64_t kSettledNanos = 2'000'000'000;

bool settled(const platform::FileVersion& v) {
    const std::int64_t now = platform::unixTimeMillis() * 1'000'000;
    return now - v.mtimeNanos > kSettledNanos && now - v.ctimeNanos > kSettledNanos;
}

}  // namespace

void WriteRoots::replace(std::vector<std::string> roots, const LogFile& log) {
    std::lock_guard lock(mutex_);
    roots_ = std::move(roots);
    log.logLine("set_write_roots   %zu root(s)", roots_.size());
}

std::vector<std::string> WriteRoots::copy() const {
    std::lock_guard lock(mutex_);
    return roots_;
}

bool isDeletableName(const std::string& name) {
    return (startsWithNoCase(name, "QuorvaleKaraoke-backup-") && endsWithNoCase(name, ".json")) ||
           equalsNoCase(name, "pending-end-show.json");
}

std::vector<std::string> localDriveRoots(const std::vector<platform::MountEntry>& mounts) {
    static constexpr std::string_view kNotMedia[] = {"iso9660", "udf", "squashfs"};
    static constexpr std::string_view kSystemTrees[] = {"/boot", "/proc", "/sys", "/dev", "/run",
                                                        "/snap", "/var",  "/usr", "/etc", "/tmp"};
    std::vector<std::string> roots{"/"};
    for (const auto& m : mounts) {
        if (m.device.rfind("/dev/", 0) != 0) continue;  // network and virtual file systems
        if (std::find(std::begin(kNotMedia), std::end(kNotMedia), m.fsType) != std::end(kNotMedia)) continue;
        std::string point = m.mountPoint;
        while (point.size() > 1 && point.back() == '/') point.pop_back();
        if (point.empty() || point.front() != '/') continue;
        const bool system = std::any_of(std::begin(kSystemTrees), std::end(kSystemTrees),
                                        [&](std::string_view t) { return isUnder(point, t); });
        if (system && !isUnder(point, "/run/media")) continue;
        if (std::find(roots.begin(), roots.end(), point) == roots.end()) roots.push_back(point);
    }
    return roots;
}

std::vector<std::string> windowsDriveRoots(const std::vector<platform::MountEntry>& mounts) {
    std::vector<std::string> roots;
    for (const auto& m : mounts) {
        if (m.device != "fixed" && m.device != "removable" && m.device != "ramdisk") continue;
        std::string root = m.mountPoint;
        while (!root.empty() && (root.back() == '\\' || root.back() == '/')) root.pop_back();
        if (!root.empty()) roots.push_back(root);
    }
    return roots;
}

Json FileService::run(const Json& request, const std::string& action, const std::string& id) {
    const std::string given = stringMember(request, "path");
    // The system's calls read a path up to its first NUL: one holding a NUL would
    // pass the checks whole and then be used cut short.
    if (action != "drives" && holdsNul(given)) return refuseNul(given, action, id);
    const bool writes = action == "writefile" || action == "deletefile" || action == "mkdir";
    // What the text alone rules out is refused before the path is resolved, which
    // already opens what it names.
    if (writes) {
        if (const auto why = writeRefusal(given)) {
            log_.logLine("REFUSED %s (%s): %s", action.c_str(), why->c_str(), given.c_str());
            return makeAnswer(id, -1, kRefusedOutside);
        }
    }
    if (action != "drives" && namesDevice(given)) return refuseDevice(given, action, id);
    const std::string path = canonicalizePath(given);

    if (writes) {
        if (!isInsideWriteRoots(path, roots_.copy())) {
            log_.logLine("REFUSED %s outside write roots: %s", action.c_str(), path.c_str());
            return makeAnswer(id, -1, kRefusedOutside);
        }
        if (const auto why = canonicalWriteRefusal(given, path)) {
            log_.logLine("REFUSED %s (%s): %s", action.c_str(), why->c_str(), path.c_str());
            return makeAnswer(id, -1, kRefusedOutside);
        }
    }
    if (action == "statfile") {
        const platform::FileAttributes a = platform::fileAttributes(path);
        Json answer = makeAnswer(id, 0, "");
        answer["exists"] = a.exists;
        answer["size"] = a.exists ? a.size : std::uint64_t{0};
        answer["mtime"] = a.exists ? static_cast<double>(a.mtimeMillis) : 0.0;
        return answer;
    }
    if (action == "readfile") return readFile(path, request, id);
    if (action == "writefile") return writeFile(path, request, id);
    if (action == "deletefile") {
        const std::string name = nameOf(path);
        if (!isDeletableName(name)) {
            log_.logLine("REFUSED delete (not a backup file): %s", name.c_str());
            return makeAnswer(id, -1, "refused: not a QuorvaleKaraoke backup file");
        }
        const auto folder = openCheckedFolder(folderOf(path), false);
        return folder && folder->remove(name) ? makeAnswer(id, 0, "") : makeAnswer(id, -1, "delete failed");
    }
    if (action == "mkdir") {
        // A folder that already exists counts as made; a file in its place does not.
        return openCheckedFolder(path, true) ? makeAnswer(id, 0, "") : makeAnswer(id, -1, "mkdir failed");
    }
    if (action == "listdir") return listFolder(path, id);
    if (action == "drives") return drives(id);
    return makeAnswer(id, -1, "(" + action + " not implemented on Windows yet)");
}

Json FileService::refuseNul(const std::string& given, const std::string& action, const std::string& id) {
    std::string shown;
    for (const char c : given) shown += c == '\0' ? std::string("\\0") : std::string(1, c);
    log_.logLine("REFUSED %s path holding NUL: %s", action.c_str(), shown.c_str());
    return unusablePathAnswer(action, id);
}

Json FileService::refuseDevice(const std::string& given, const std::string& action, const std::string& id) {
    // A pipe's server would see a client, a console read would wait for a key.
    log_.logLine("REFUSED %s device path: %s", action.c_str(), given.c_str());
    return unusablePathAnswer(action, id);
}

Json FileService::unusablePathAnswer(const std::string& action, const std::string& id) {
    // Each action fails as it does for a path that names nothing it could use.
    if (action == "statfile") {
        Json answer = makeAnswer(id, 0, "");
        answer["exists"] = false;
        answer["size"] = std::uint64_t{0};
        answer["mtime"] = 0.0;
        return answer;
    }
    if (action == "readfile") return makeAnswer(id, -1, "read failed (cannot open)");
    if (action == "listdir") return makeAnswer(id, -1, "listdir failed");
    return makeAnswer(id, -1, kRefusedOutside);
}

const DecodedText* FileService::readText(const std::string& path, DecodedText& fresh, std::string& error) {
    const auto before = platform::fileVersion(path);
    if (cache_ && before && cache_->path == path && cache_->version == *before) return &cache_->text;
    cache_.reset();
    if (!readTextFile(path, fresh, error)) return nullptr;
    const auto after = platform::fileVersion(path);
    if (before && after && *before == *after && settled(*after) && fresh.unitCount() > kMaxReadChunkUnits) {
        cache_ = CachedText{path, *after, std::move(fresh)};
        return &cache_->text;
    }
    return &fresh;
}

Json FileService::readFile(const std::string& path, const Json& request, const std::string& id) {
    DecodedText fresh;
    std::string error;
    const DecodedText* text = readText(path, fresh, error);
    if (text == nullptr) return makeAnswer(id, -1, error);

    const std::size_t total = text->unitCount();
    std::size_t start = 0;
    if (const auto offset = numberMember(request, "offset"); offset && *offset > 0)
        start = *offset >= static_cast<double>(total) ? total : static_cast<std::size_t>(*offset);
    std::size_t count = std::min(total - start, kMaxReadChunkUnits);
    if (count != 0 && start + count < total && text->isHighSurrogateAt(start + count - 1)) --count;
    const bool eof = start + count >= total;

    Json answer = makeAnswer(id, 0, text->unitsAsUtf8(start, count));
    answer["eof"] = eof;
    answer["total"] = static_cast<std::uint64_t>(total);
    const platform::FileAttributes a = platform::fileAttributes(path);
    answer["mtime"] = a.exists ? static_cast<double>(a.mtimeMillis) : 0.0;
    if (eof && text != &fresh) cache_.reset();  // the page has it all now
    return answer;
}

Json FileService::writeFile(const std::string& path, const Json& request, const std::string& id) {
    const std::string content = stringMember(request, "content");
    // Missing folders are made only inside a root; a folder that cannot be held
    // is the same failure as a temporary file that cannot be made in it.
    const std::string parent = folderOf(path);
    const auto folder = openCheckedFolder(parent, isInsideWriteRoots(parent, roots_.copy()));
    if (!folder) return makeAnswer(id, -1, "write failed (temp)");
    std::string error;
    if (!writeFileAtomicIn(*folder, nameOf(path), content, error)) return makeAnswer(id, -1, error);
    return makeAnswer(id, 0, "");
}

Json FileService::listFolder(const std::string& path, const std::string& id) {
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == platform::kPathSeparator && folderOf(folder) != folder)
        folder.pop_back();
    const auto entries = platform::listFolder(folder);
    if (!entries) return makeAnswer(id, -1, "listdir failed");
    Json list = Json::array();
    for (const auto& e : *entries) list.push_back(Json{{"name", asValidUtf8(e.name)}, {"dir", e.isFolder}});
    return makeAnswer(id, 0, serializeAnswerOrFallback(list));
}

Json FileService::drives(const std::string& id) {
    Json list = Json::array();
    const auto mounts = platform::listMounts();
    const auto roots = platform::kPathSeparator == '\\' ? windowsDriveRoots(mounts) : localDriveRoots(mounts);
    for (const auto& root : roots) {
        const std::string text = asValidUtf8(root);
        list.push_back(Json{{"root", text}, {"label", text}});
    }
    Json answer = makeAnswer(id, 0, serializeAnswerOrFallback(list));
    answer["home"] = asValidUtf8(platform::homeFolder());
    return answer;
}

}  // namespace qk::bridge
