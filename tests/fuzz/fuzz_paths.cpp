// The path pipeline against a real tree: the page's path is made canonical and
// checked against the write roots, then written, made or deleted. The tree holds
// links out of the roots (absolute and relative), dangling links, loops and a
// relative link inside a folder reached through a link. Whatever the path, no
// write, mkdir or delete may change anything outside the roots.
//
// Input: up to eight lines, each an action letter ('w' writefile, 'm' mkdir,
// 'd' deletefile; other letters pick one by their value) and a path taken from
// the tree's top folder.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "bridge/file_service.h"
#include "bridge/paths.h"
#include "tests/support/karaoke_log.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

struct Tree {
    qktest::KaraokeLogCapture log;  // the service's log lines stay out of the user's folder
    qktest::TempDir dir;
    std::string base = *qk::platform::realPath(dir.path());
    qk::bridge::WriteRoots roots;
    qk::bridge::FileService service{roots, qk::LogFile::karaoke()};

    std::string at(const std::string& name) const { return base + "/" + name; }

    void build() {
        for (const auto& e : fs::directory_iterator(base)) fs::remove_all(e.path());
        fs::create_directories(at("root/sub"));
        fs::create_directories(at("root2-real"));
        fs::create_directories(at("outside/deep"));
        fs::create_directories(at("other/deep/dir"));
        qktest::writeFile(at("root/QuorvaleKaraoke-backup-1.json"), "in");
        qktest::writeFile(at("outside/QuorvaleKaraoke-backup-2.json"), "out");
        qktest::writeFile(at("outside/file.txt"), "out");
        qktest::writeFile(at("other/deep/dir/QuorvaleKaraoke-backup-3.json"), "other");
        fs::create_directory_symlink(at("outside"), at("root/out"));
        fs::create_directory_symlink("../outside", at("root/rel"));
        fs::create_symlink(at("outside/not-yet"), at("root/dangling"));
        fs::create_symlink("../outside/new/deeper", at("root/reldangling"));
        fs::create_symlink("loop2", at("root/loop1"));
        fs::create_symlink("loop1", at("root/loop2"));
        fs::create_directory_symlink(".", at("root/self"));
        fs::create_directory_symlink("..", at("root/up"));
        fs::create_directory_symlink("sub", at("root/inside"));
        fs::create_directory_symlink("../other/deep/dir", at("root/a"));
        fs::create_symlink("../x", at("other/deep/dir/link"));
        fs::create_symlink(at("outside/QuorvaleKaraoke-backup-2.json"), at("root/QuorvaleKaraoke-backup-2.json"));
        fs::create_symlink(at("other/deep/dir/QuorvaleKaraoke-backup-3.json"),
                           at("root2-real/QuorvaleKaraoke-backup-3.json"));
        fs::create_directory_symlink("root2-real", at("root2"));
        roots.replace({at("root"), at("root2")}, qk::LogFile::karaoke());
    }

    // Everything outside the roots: kind, mode, size, bytes or link text.
    std::map<std::string, std::string> outsideRoots() const {
        std::map<std::string, std::string> seen;
        for (auto it = fs::recursive_directory_iterator(base); it != fs::recursive_directory_iterator(); ++it) {
            const std::string path = it->path().string();
            if (path == at("root") || path == at("root2-real")) {
                it.disable_recursion_pending();
                continue;
            }
            struct stat st {};
            ::lstat(path.c_str(), &st);
            std::string what = std::to_string(st.st_mode) + ":";
            if (S_ISLNK(st.st_mode))
                what += fs::read_symlink(it->path()).string();
            else if (S_ISREG(st.st_mode))
                what += qktest::readFile(path);
            seen[path] = what;
        }
        return seen;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Tree* tree = new Tree;  // lives for the whole run
    tree->build();
    static const auto pristine = tree->outsideRoots();

    std::string_view input(reinterpret_cast<const char*>(data), size);
    for (int line = 0; line < 8 && !input.empty(); ++line) {
        const auto cut = input.find('\n');
        const std::string_view text = input.substr(0, cut);
        input = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);
        if (text.empty()) continue;
        static const char* const kActions[] = {"writefile", "mkdir", "deletefile"};
        const char letter = text[0];
        const char* action = letter == 'w' ? kActions[0]
                             : letter == 'm' ? kActions[1]
                             : letter == 'd' ? kActions[2]
                                             : kActions[static_cast<unsigned char>(letter) % 3];
        const std::string path = tree->at(std::string(text.substr(1)));
        // Only paths that name something in the tree as text: the tree's links all
        // stay inside it, so nothing beyond the tree can be reached.
        if (qk::bridge::fullPath(path).rfind(tree->base + "/", 0) != 0) return -1;
        qk::Json request{{"action", action}, {"path", path}, {"content", "written"}};
        const qk::Json answer = tree->service.run(request, action, "f");
        if (std::getenv("QK_FUZZ_VERBOSE") != nullptr)
            std::fprintf(stderr, "%s %s -> %s\n", action, request["path"].dump().c_str(), answer.dump().c_str());
    }
    if (tree->outsideRoots() != pristine) {
        std::fprintf(stderr, "something outside the write roots changed\n");
        for (const auto& [path, what] : tree->outsideRoots())
            if (!pristine.count(path) || pristine.at(path) != what) std::fprintf(stderr, "  %s\n", path.c_str());
        for (const auto& [path, what] : pristine)
            if (!tree->outsideRoots().count(path)) std::fprintf(stderr, "  gone: %s\n", path.c_str());
        std::abort();
    }
    return 0;
}
