// The Windows path rules as plain logic, over a small made-up Windows file
// system: which writes are refused from their text, how a path is resolved
// through links and junctions, and how roots admit paths. The same rules meet
// the real calls in the Windows path table under Wine.
#include "bridge/windows_paths.h"

#include <gtest/gtest.h>

#include "bridge/file_service.h"

#include <algorithm>
#include <map>

namespace {

namespace wp = qk::bridge::winpath;

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Names compared as NTFS does for ASCII; the current folder is C:\Data.
class MadeUpDisk {
public:
    // An existing file or folder and its final path (where a link leads, a short
    // name's long form).
    void exists(const std::string& path, const std::string& final) { finals_[lower(path)] = final; }
    void exists(const std::string& path) { exists(path, path); }
    // A link or junction whose target is missing.
    void dangling(const std::string& path, const std::string& target) { links_[lower(path)] = target; }

    wp::Calls calls() const {
        return {[](const std::string& p) { return fullPath(p); },
                [this](const std::string& p) -> std::optional<std::string> {
                    const auto found = finals_.find(lower(p));
                    if (found == finals_.end()) return std::nullopt;
                    return found->second;
                },
                [this](const std::string& p) -> std::optional<std::string> {
                    const auto found = links_.find(lower(p));
                    if (found == links_.end()) return std::nullopt;
                    return found->second;
                },
                [](std::string_view a, std::string_view b) { return lower(std::string(a)) == lower(std::string(b)); }};
    }

private:
    // GetFullPathNameW for the forms the tests use: relative and drive paths,
    // "." and ".." folded, doubled separators merged.
    static std::optional<std::string> fullPath(std::string p) {
        if (p.rfind("\\\\", 0) == 0) return p;
        if (p.size() < 2 || p[1] != ':') p = "C:\\Data\\" + p;
        const bool trailing = p.back() == '\\' && p.size() > 3;
        std::vector<std::string> names;
        std::size_t pos = 3;
        while (pos <= p.size()) {
            std::size_t next = std::min(p.find('\\', pos), p.size());
            const std::string name = p.substr(pos, next - pos);
            if (name == "..") {
                if (!names.empty()) names.pop_back();
            } else if (!name.empty() && name != ".") {
                names.push_back(name);
            }
            pos = next + 1;
        }
        std::string out = p.substr(0, 2) + "\\";
        for (std::size_t i = 0; i < names.size(); ++i) out += (i ? "\\" : "") + names[i];
        if (trailing && !names.empty()) out += '\\';
        return out;
    }

    std::map<std::string, std::string> finals_, links_;
};

struct Verdict {
    bool allowed = false;
    std::string path;  // the canonical path of an allowed write
};

// The write gate as the file service runs it: text, then the roots, then the
// canonical form.
Verdict gate(const std::string& given, const std::vector<std::string>& roots, const wp::Calls& calls) {
    if (wp::writeRefusal(given)) return {};
    const std::string path = wp::canonicalize(given, calls);
    if (!wp::isInsideRoots(path, roots, calls) || wp::canonicalRefusal(path)) return {};
    if (wp::linkRefusal(calls.fullPath(given).value_or(given), calls) || wp::linkRefusal(path, calls)) return {};
    return {true, path};
}

TEST(WindowsPaths, WritesAreConfinedToTheRootsWhateverFormThePathTakes) {
    MadeUpDisk disk;
    disk.exists("C:\\");
    disk.exists("C:\\Data");
    disk.exists("C:\\Data\\shows");
    disk.exists("C:\\Data\\real");
    disk.exists("C:\\Data2");
    disk.exists("C:\\Data\\out", "D:\\Outside");              // a junction inside the root, pointing out
    disk.exists("C:\\Data\\alias", "C:\\Data\\real");         // and one pointing back in
    disk.exists("C:\\Data\\escape.json", "D:\\Outside\\a.json");  // a file link pointing out
    disk.exists("C:\\DATA~1", "C:\\Data");                    // a short name with its long form
    disk.exists("C:\\Data\\settings.json");
    disk.exists("C:\\Data\\SETTIN~1.JSO", "C:\\Data\\settings.json");
    disk.exists("C:\\Data\\same.json", "C:\\Data\\other.json");  // a link to a file beside it
    disk.dangling("C:\\Data\\gone", "\\??\\D:\\Gone");
    disk.dangling("C:\\Data\\relgone", "..\\..\\Elsewhere");
    disk.dangling("C:\\Data\\relin", "real\\later");
    const std::vector<std::string> roots{"C:\\Data"};

    struct Case {
        const char* given;
        const char* canonical;  // nullptr: refused
    };
    const Case cases[] = {
        // Names compare without case; a sibling with a longer name is not inside.
        {"c:\\data\\x.json", "C:\\Data\\x.json"},
        {"C:\\DATA\\SHOWS\\a.json", "C:\\Data\\shows\\a.json"},
        {"C:\\Data2\\x.json", nullptr},
        {"C:\\Data", "C:\\Data"},
        {"C:\\", nullptr},
        {"C:", nullptr},
        // Separators and dots are folded before the roots are looked at.
        {"C:/Data/shows/../x.json", "C:\\Data\\x.json"},
        {"C:\\Data\\shows\\..\\..\\Windows\\x.json", nullptr},
        {"C:\\Data\\.\\\\x.json", "C:\\Data\\x.json"},
        {"shows\\a.json", "C:\\Data\\shows\\a.json"},
        {"C:x.json", nullptr},
        // Links and junctions are judged by where they lead.
        {"C:\\Data\\out\\x.json", nullptr},
        {"C:\\Data\\alias\\x.json", "C:\\Data\\real\\x.json"},
        {"C:\\Data\\escape.json", nullptr},
        {"C:\\Data\\gone\\x.json", nullptr},
        {"C:\\Data\\relgone\\x.json", nullptr},
        {"C:\\Data\\relin\\x.json", "C:\\Data\\real\\later\\x.json"},
        // A link in the last place is not written, wherever it leads.
        {"C:\\Data\\alias", nullptr},
        {"C:\\Data\\alias\\", nullptr},
        {"C:\\Data\\same.json", nullptr},
        {"C:\\Data\\gone", nullptr},
        {"C:\\data\\SETTINGS.JSON", "C:\\Data\\settings.json"},
        // Namespaces and shares.
        {"\\\\?\\C:\\Data\\x.json", nullptr},
        {"\\\\.\\C:\\Data\\x.json", nullptr},
        {"\\??\\C:\\Data\\x.json", nullptr},
        {"\\\\?\\UNC\\server\\share\\x", nullptr},
        {"\\\\server\\share\\x.json", nullptr},
        {"\\\\localhost\\C$\\Data\\x.json", nullptr},
        {"//server/share/x.json", nullptr},
        // Devices in any folder, with any extension.
        {"C:\\Data\\CON", nullptr},
        {"C:\\Data\\nul.txt", nullptr},
        {"C:\\Data\\shows\\Com1.json", nullptr},
        {"C:\\Data\\lpt9", nullptr},
        {"C:\\Data\\AUX .txt", nullptr},
        {"C:\\Data\\prn\\x.json", nullptr},
        {"C:\\Data\\CONOUT$", nullptr},
        {"C:\\Data\\COM\xC2\xB9.log", nullptr},
        {"C:\\Data\\console.json", "C:\\Data\\console.json"},
        {"C:\\Data\\COM10", "C:\\Data\\COM10"},
        {"C:\\Data\\nullable.txt", "C:\\Data\\nullable.txt"},
        // Streams, names Windows trims, wildcards.
        {"C:\\Data\\settings.json:evil", nullptr},
        {"C:\\Data\\settings.json::$DATA", nullptr},
        {"C:\\Data\\settings.json.", nullptr},
        {"C:\\Data\\settings.json ", nullptr},
        {"C:\\Data\\shows.\\a.json", nullptr},
        {"C:\\Data\\a*.json", nullptr},
        {"C:\\Data\\a?.json", nullptr},
        // Short names: resolved when they exist, refused when they cannot be.
        {"C:\\DATA~1\\x.json", "C:\\Data\\x.json"},
        {"C:\\Data\\SETTIN~1.JSO", "C:\\Data\\settings.json"},
        {"C:\\Data\\SETTIN~2.JSO", nullptr},
        {"C:\\Data\\NEWFOL~1\\x.json", nullptr},
        {"C:\\Data\\tilde~name.json", "C:\\Data\\tilde~name.json"},
    };
    for (const Case& c : cases) {
        const Verdict v = gate(c.given, roots, disk.calls());
        EXPECT_EQ(v.allowed, c.canonical != nullptr) << c.given << " -> " << v.path;
        if (c.canonical && v.allowed) {
            EXPECT_EQ(v.path, c.canonical) << c.given;
        }
    }
}

TEST(WindowsPaths, RootsAreResolvedAndComparedAsTheFileSystemDoes) {
    MadeUpDisk disk;
    disk.exists("C:\\");
    disk.exists("C:\\Data");
    disk.exists("C:\\Link", "C:\\Data");
    const auto calls = disk.calls();
    // A root given through a link, with a trailing separator or in another case.
    for (const char* root : {"C:\\Link", "c:\\data\\", "C:/Data//", "C:\\DATA~1\\..\\Data"})
        EXPECT_TRUE(wp::isInsideRoots("C:\\Data\\x.json", {root}, calls)) << root;
    // A drive root admits the drive but not itself.
    EXPECT_TRUE(wp::isInsideRoots("C:\\x", {"C:\\"}, calls));
    EXPECT_FALSE(wp::isInsideRoots("C:\\", {"C:\\"}, calls));
    EXPECT_FALSE(wp::isInsideRoots("D:\\x", {"C:\\"}, calls));
    // Roots that are themselves refused text are never used.
    EXPECT_FALSE(wp::isInsideRoots("\\\\server\\share\\x", {"\\\\server\\share"}, calls));
    EXPECT_FALSE(wp::isInsideRoots("C:\\Data\\x", {"\\\\?\\C:\\Data"}, calls));
    EXPECT_FALSE(wp::isInsideRoots("C:\\Data\\x", {}, calls));
    EXPECT_FALSE(wp::isInsideRoots("", {"C:\\Data"}, calls));
}

TEST(WindowsPaths, DevicePathsAreNeverOpenedToResolveThem) {
    MadeUpDisk disk;
    int opened = 0;
    wp::Calls calls = disk.calls();
    calls.finalPath = [&](const std::string&) {
        ++opened;
        return std::optional<std::string>{};
    };
    calls.linkTarget = calls.finalPath;
    for (const char* device : {"\\\\.\\pipe\\qk", "\\\\?\\GLOBALROOT\\Device\\Null", "C:\\Data\\NUL", "CON",
                               "C:\\Data\\conin$.txt", "\\??\\C:\\x"}) {
        EXPECT_TRUE(wp::namesDevice(device)) << device;
        EXPECT_EQ(wp::canonicalize(device, calls), [&] {
            std::string s = device;
            std::replace(s.begin(), s.end(), '/', '\\');
            return s;
        }()) << device;
    }
    EXPECT_EQ(opened, 0);
    // The long forms of drive and share paths are files.
    for (const char* file : {"\\\\?\\C:\\Data\\x.json", "\\\\?\\UNC\\server\\share\\x", "C:\\Data\\console"})
        EXPECT_FALSE(wp::namesDevice(file)) << file;
}

TEST(WindowsPaths, FolderAndNameSplitKeepsDriveRoots) {
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
    };
    const Case cases[] = {{"C:\\a\\b.json", "C:\\a", "b.json"}, {"C:\\a", "C:\\", "a"}, {"C:\\", "C:\\", ""},
                          {"a.json", ".", "a.json"},            {"\\\\srv\\share\\x", "\\\\srv\\share", "x"}};
    for (const Case& c : cases) {
        EXPECT_EQ(wp::folderOf(c.path), c.folder) << c.path;
        EXPECT_EQ(wp::nameOf(c.path), c.name) << c.path;
    }
    EXPECT_EQ(wp::stripLongPathPrefix("\\\\?\\UNC\\srv\\share\\x"), "\\\\srv\\share\\x");
    EXPECT_EQ(wp::stripLongPathPrefix("\\\\?\\C:\\x"), "C:\\x");
    EXPECT_EQ(wp::stripLongPathPrefix("C:\\x"), "C:\\x");
}

TEST(WindowsPaths, DrivesAreTheLocalDriveLetters) {
    const std::vector<qk::platform::MountEntry> drives = {
        {"fixed", "C:\\", "NTFS"},   {"removable", "E:\\", "FAT32"}, {"ramdisk", "R:\\", "FAT32"},
        {"remote", "N:\\", "NTFS"},  {"cdrom", "D:\\", "CDFS"},      {"unknown", "U:\\", ""},
        {"fixed", "\\", "NTFS"},
    };
    EXPECT_EQ(qk::bridge::windowsDriveRoots(drives), (std::vector<std::string>{"C:", "E:", "R:"}));
}

}  // namespace
