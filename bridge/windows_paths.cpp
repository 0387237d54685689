#include "bridge/windows_paths.h"

#include <algorithm>
#include <array>

namespace qk::bridge::winpath {

namespace {

constexpr int kMaxLinkHops = 40;

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool equalsAsciiNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return upperAscii(x) == upperAscii(y);
           });
}

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string withBackslashes(std::string_view path) {
    std::string out(path);
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

// The names of a path, split at backslashes; empty names (doubled or trailing
// separators) left out.
std::vector<std::string_view> namesOf(std::string_view path) {
    std::vector<std::string_view> names;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t next = path.find('\\', pos);
        if (next == std::string_view::npos) next = path.size();
        if (next > pos) names.push_back(path.substr(pos, next - pos));
        pos = next + 1;
    }
    return names;
}

// The namespaces that reach past the drives' files: devices, pipes, volumes by
// GUID, the object manager's own names.
bool isNamespacePrefixed(std::string_view path) {
    return startsWith(path, "\\\\?\\") || startsWith(path, "\\\\.\\") || startsWith(path, "\\??\\");
}

// "\\?\C:\..." and "\\?\UNC\server\share\..." are the long forms of ordinary paths.
bool isLongFormOfFilePath(std::string_view path) {
    if (!startsWith(path, "\\\\?\\")) return false;
    const std::string_view rest = path.substr(4);
    if (rest.size() >= 3 && isDriveLetter(rest[0]) && rest[1] == ':' && rest[2] == '\\') return true;
    return rest.size() > 4 && equalsAsciiNoCase(rest.substr(0, 4), "UNC\\");
}

std::optional<std::string> nameRefusal(std::string_view name) {
    if (name == "." || name == "..") return std::nullopt;  // folded by the full path
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == ':') return "a stream or a drive inside the path";
        if (u < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
            return "a wildcard or a character Windows refuses in a name";
    }
    if (name.back() == '.' || name.back() == ' ') return "a name ending with a dot or a blank";
    if (isReservedDeviceName(name)) return "a device name";
    return std::nullopt;
}

}  // namespace

std::string stripLongPathPrefix(std::string_view path) {
    if (startsWith(path, "\\\\?\\UNC\\")) return "\\\\" + std::string(path.substr(8));
    if (startsWith(path, "\\\\?\\")) return std::string(path.substr(4));
    return std::string(path);
}

bool isReservedDeviceName(std::string_view name) {
    // Windows looks at the name up to its first dot (or stream colon), blanks at
    // its end dropped: "nul.txt", "NUL .json" and "con:x" are devices too.
    std::string_view base = name.substr(0, std::min(name.find('.'), name.find(':')));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    if (equalsAsciiNoCase(base, "CON") || equalsAsciiNoCase(base, "PRN") || equalsAsciiNoCase(base, "AUX") ||
        equalsAsciiNoCase(base, "NUL") || equalsAsciiNoCase(base, "CONIN$") || equalsAsciiNoCase(base, "CONOUT$"))
        return true;
    if (base.size() < 4) return false;
    const std::string_view stem = base.substr(0, 3);
    if (!equalsAsciiNoCase(stem, "COM") && !equalsAsciiNoCase(stem, "LPT")) return false;
    const std::string_view digit = base.substr(3);
    static constexpr std::array<std::string_view, 3> kSuperscripts = {"\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};
    return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') ||
           std::find(kSuperscripts.begin(), kSuperscripts.end(), digit) != kSuperscripts.end();
}

bool looksLikeShortName(std::string_view name) {
    const std::size_t tilde = name.find('~');
    if (tilde == std::string_view::npos || tilde == 0) return false;
    const std::size_t dot = name.find('.');
    if (dot != std::string_view::npos && (name.find('.', dot + 1) != std::string_view::npos || tilde > dot)) return false;
    const std::size_t baseLength = dot == std::string_view::npos ? name.size() : dot;
    const std::size_t extLength = dot == std::string_view::npos ? 0 : name.size() - dot - 1;
    if (baseLength > 8 || extLength > 3 || tilde + 1 >= baseLength) return false;
    return std::none_of(name.begin(), name.end(), [](char c) { return c == ' ' || static_cast<unsigned char>(c) >= 0x80; });
}

bool namesDevice(std::string_view given) {
    const std::string path = withBackslashes(given);
    if (isNamespacePrefixed(path) && !isLongFormOfFilePath(path)) return true;
    for (const std::string_view name : namesOf(path))
        if (isReservedDeviceName(name)) return true;
    return false;
}

std::optional<std::string> writeRefusal(std::string_view given) {
    const std::string path = withBackslashes(given);
    if (isNamespacePrefixed(path)) return "a device or long-path namespace";
    if (startsWith(path, "\\\\")) return "a network (UNC) path";
    std::string_view rest = path;
    if (rest.size() >= 2 && isDriveLetter(rest[0]) && rest[1] == ':') {
        if (rest.size() == 2 || rest[2] != '\\') return "a path relative to a drive's current folder";
        rest.remove_prefix(2);
    }
    for (const std::string_view name : namesOf(rest))
        if (auto why = nameRefusal(name)) return why;
    return std::nullopt;
}

std::optional<std::string> canonicalRefusal(std::string_view canonical) {
    for (const std::string_view name : namesOf(canonical))
        if (looksLikeShortName(name)) return "a short (8.3) name that is not resolved";
    return std::nullopt;
}

std::optional<std::string> linkRefusal(const std::string& full, const Calls& calls) {
    const char* const kLink = "a link or junction in the last place";
    std::string path = full;
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    if (path.empty() || folderOf(path) == path) return std::nullopt;
    if (calls.linkTarget(path)) return kLink;
    const auto whole = calls.finalPath(path);
    if (!whole) return std::nullopt;
    // What the name resolves to lies in the folder the path names and has the
    // name itself (in another case, or as the long form of a short name).
    const auto folder = calls.finalPath(folderOf(path));
    if (!folder) return std::nullopt;
    const std::string name = nameOf(path);
    if (!calls.sameName(folderOf(*whole), *folder) ||
        (!calls.sameName(nameOf(*whole), name) && !looksLikeShortName(name)))
        return kLink;
    return std::nullopt;
}

bool isAbsolute(std::string_view path) {
    if (path.size() >= 3 && isDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
    return startsWith(path, "\\\\");
}

std::string folderOf(const std::string& path) {
    const std::size_t cut = path.find_last_of('\\');
    if (cut == std::string::npos) return ".";
    if (path.size() >= 2 && isDriveLetter(path[0]) && path[1] == ':' && cut <= 2) return path.substr(0, 2) + "\\";
    if (cut < 2) return path;  // "\\server" and "\x": nothing above
    return path.substr(0, cut);
}

std::string nameOf(const std::string& path) {
    const std::size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

namespace {

std::string canonicalize(const std::string& given, const Calls& calls, int hops) {
    if (given.empty()) return {};
    const std::string path = withBackslashes(given);
    if (namesDevice(path)) return path;
    const std::optional<std::string> fullOrNot = calls.fullPath(path);
    if (!fullOrNot || fullOrNot->empty()) return path;
    const std::string full = stripLongPathPrefix(*fullOrNot);
    std::string current = full;
    std::string tail;
    while (current.size() >= 4) {
        if (auto final = calls.finalPath(current); final && !final->empty()) return *final + tail;
        if (auto target = calls.linkTarget(current); target && !target->empty()) {
            // A link that points nowhere: what is made at this path appears where
            // it points, so that is the path to judge. A relative target counts
            // from where the link really lies.
            if (hops >= kMaxLinkHops) return {};
            std::string stored = stripLongPathPrefix(withBackslashes(*target));
            // The form the system stores a link's target in.
            if (startsWith(stored, "\\??\\UNC\\"))
                stored = "\\\\" + stored.substr(8);
            else if (startsWith(stored, "\\??\\"))
                stored = stored.substr(4);
            std::string resolved = stored;
            if (!isAbsolute(stored)) {
                const std::string folder = folderOf(current);
                const std::string base = calls.finalPath(folder).value_or(folder);
                resolved = (base.back() == '\\' ? base : base + "\\") + stored;
            }
            return canonicalize(resolved + tail, calls, hops + 1);
        }
        const std::size_t cut = current.find_last_of('\\');
        if (cut == std::string::npos || cut <= 2) break;
        tail = current.substr(cut) + tail;
        current = current.substr(0, cut);
    }
    return full;
}

}  // namespace

std::string canonicalize(const std::string& path, const Calls& calls) { return canonicalize(path, calls, 0); }

bool isInsideRoots(const std::string& path, const std::vector<std::string>& roots, const Calls& calls) {
    if (path.empty() || roots.empty()) return false;
    for (const auto& given : roots) {
        if (given.empty() || writeRefusal(given)) continue;
        std::string root = canonicalize(given, calls);
        while (root.size() >= 2 && root.back() == '\\') root.pop_back();
        if (root.empty()) continue;
        if (calls.sameName(root, path)) return true;
        // Below the root: the path's text up to one of its backslashes is the
        // root, and something follows that backslash. Compared at each
        // backslash, since a name's case forms need not be as long in UTF-8.
        for (std::size_t cut = path.find('\\'); cut != std::string::npos && cut + 1 < path.size();
             cut = path.find('\\', cut + 1))
            if (calls.sameName(std::string_view(path).substr(0, cut), root)) return true;
    }
    return false;
}

}  // namespace qk::bridge::winpath
