#include "bridge/paths.h"

#include "bridge/windows_paths.h"
#include "platform/files.h"

namespace qk::bridge {

#if defined(_WIN32)

namespace {
const winpath::Calls& systemCalls() {
    static const winpath::Calls calls{platform::fullPathName, platform::realPath, platform::symlinkTarget,
                                      platform::sameNameIgnoringCase};
    return calls;
}
}  // namespace

std::string fullPath(const std::string& path) {
    if (path.empty()) return {};
    std::string copy = path;
    for (char& c : copy)
        if (c == '/') c = '\\';
    return platform::fullPathName(copy).value_or(copy);
}

std::string canonicalizePath(const std::string& path) { return winpath::canonicalize(path, systemCalls()); }

bool isInsideWriteRoots(const std::string& path, const std::vector<std::string>& roots) {
    return winpath::isInsideRoots(path, roots, systemCalls());
}

std::string folderOf(const std::string& path) { return winpath::folderOf(path); }
std::string nameOf(const std::string& path) { return winpath::nameOf(path); }
bool isAbsolutePath(const std::string& path) { return winpath::isAbsolute(path); }

std::optional<std::string> writeRefusal(const std::string& given) { return winpath::writeRefusal(given); }

std::optional<std::string> canonicalWriteRefusal(const std::string& given, const std::string& path) {
    if (auto why = winpath::canonicalRefusal(path)) return why;
    if (auto why = winpath::linkRefusal(fullPath(given), systemCalls())) return why;
    return winpath::linkRefusal(path, systemCalls());
}

bool namesDevice(const std::string& path) { return winpath::namesDevice(path); }

#else

std::string fullPath(const std::string& path) {
    if (path.empty()) return {};
    std::string absolute = path;
    if (path.front() != '/') {
        const std::string cwd = platform::currentFolder();
        if (cwd.empty()) return path;
        absolute = cwd + "/" + path;
    }
    const bool trailing = absolute.size() > 1 && absolute.back() == '/';
    std::vector<std::string> segments;
    std::size_t pos = 0;
    while (pos < absolute.size()) {
        std::size_t next = absolute.find('/', pos);
        if (next == std::string::npos) next = absolute.size();
        const std::string segment = absolute.substr(pos, next - pos);
        pos = next + 1;
        if (segment.empty() || segment == ".") continue;
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();  // ".." at the root stays at the root
            continue;
        }
        segments.push_back(segment);
    }
    std::string out;
    for (const auto& s : segments) out += "/" + s;
    if (out.empty()) return "/";
    if (trailing) out += '/';
    return out;
}

namespace {

constexpr int kMaxLinkHops = 40;  // as many as the system itself follows

std::string joinTail(const std::string& real, const std::string& tail) {
    if (tail.empty()) return real;
    if (real == "/") return tail;
    return real + tail;
}

std::string canonicalize(const std::string& path, int hops) {
    if (path.empty()) return {};
    const std::string full = fullPath(path);
    std::string current = full;
    std::string tail;
    while (!current.empty()) {
        if (auto real = platform::realPath(current)) return joinTail(*real, tail);
        if (auto target = platform::symlinkTarget(current)) {
            // A dangling link: a file created at this path would appear where it
            // points, so that is the path to judge.
            if (hops >= kMaxLinkHops) return {};
            // A relative target counts from where the link really lies, which is
            // not its folder's text when that folder was reached through a link.
            const std::string folder = folderOf(current);
            const std::string base = platform::realPath(folder).value_or(folder);
            std::string resolved = target->front() == '/' ? *target : base + "/" + *target;
            return canonicalize(resolved + tail, hops + 1);
        }
        if (current == "/") break;
        std::size_t cut = current.find_last_of('/');
        if (cut == current.size() - 1 && cut > 0) cut = current.find_last_of('/', cut - 1);  // trailing '/'
        if (cut == std::string::npos) break;
        tail = current.substr(cut) + tail;
        current = cut == 0 ? std::string("/") : current.substr(0, cut);
    }
    return full;
}

}  // namespace

std::string canonicalizePath(const std::string& path) { return canonicalize(path, 0); }

bool isInsideWriteRoots(const std::string& path, const std::vector<std::string>& roots) {
    if (path.empty() || roots.empty()) return false;
    for (const auto& given : roots) {
        std::string root = canonicalizePath(given);
        if (root.empty()) continue;
        while (root.size() >= 2 && root.back() == '/') root.pop_back();
        if (root == path) return true;
        const std::string prefix = root == "/" ? root : root + "/";
        if (prefix.size() < path.size() && path.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

std::string folderOf(const std::string& path) {
    const std::size_t cut = path.find_last_of('/');
    if (cut == std::string::npos) return ".";
    if (cut == 0) return "/";
    return path.substr(0, cut);
}

std::string nameOf(const std::string& path) {
    const std::size_t cut = path.find_last_of('/');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool isAbsolutePath(const std::string& path) { return !path.empty() && path.front() == '/'; }

std::optional<std::string> writeRefusal(const std::string&) { return std::nullopt; }
std::optional<std::string> canonicalWriteRefusal(const std::string&, const std::string&) { return std::nullopt; }
bool namesDevice(const std::string&) { return false; }

#endif

}  // namespace qk::bridge
