// The file actions on a real temporary folder: every answer, refusal and log line.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <thread>

#include "bridge/file_service.h"
#include "bridge/paths.h"
#include "bridge/protocol.h"
#include "tests/bridge/interposed_calls.h"
#include "tests/support/karaoke_log.h"
#include "tests/support/temp_dir.h"

namespace {

using qk::Json;
using qk::bridge::FileService;
using qk::bridge::WriteRoots;
namespace fs = std::filesystem;

const char kOutside[] = "refused: path is outside the allowed QuorvaleKaraoke write folders";

class FileActions : public ::testing::Test {
protected:
    Json run(const std::string& action, Json request) {
        request["action"] = action;
        return service.run(request, action, "r");
    }
    Json read(const std::string& path, Json offset = nullptr) {
        Json request{{"path", path}};
        if (!offset.is_null()) request["offset"] = offset;
        return run("readfile", request);
    }
    Json write(const std::string& path, const std::string& content) {
        return run("writefile", {{"path", path}, {"content", content}});
    }
    void allow(std::vector<std::string> list) { roots.replace(std::move(list), qk::LogFile::karaoke()); }
    std::vector<std::string> names(const std::string& folder) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    qktest::KaraokeLogCapture log;
    qktest::TempDir dir;
    WriteRoots roots;
    FileService service{roots, qk::LogFile::karaoke()};
};

TEST_F(FileActions, ReadfileServesTheRequestedUnits) {
    const std::string ten = dir.file("ten.txt");
    qktest::writeFile(ten, "0123456789");
    struct Case {
        Json offset;
        const char* result;
    };
    const Case cases[] = {{nullptr, "0123456789"}, {4, "456789"},  {4.7, "456789"}, {99, ""},
                          {-3, "0123456789"},      {"4", "0123456789"}, {true, "0123456789"}, {10, ""}};
    for (const Case& c : cases) {
        const Json a = read(ten, c.offset);
        EXPECT_EQ(a["hr"], 0);
        EXPECT_EQ(a["result"], c.result) << c.offset;
        EXPECT_EQ(a["eof"], true);
        EXPECT_EQ(a["total"], 10u);
        EXPECT_TRUE(a["mtime"].is_number_float());
        EXPECT_GT(a["mtime"].get<double>(), 1.6e12);
    }
}

TEST_F(FileActions, ReadfileDecodesAsThePageCountsText) {
    struct Case {
        std::string bytes;
        std::string result;
        unsigned total;
    };
    const Case cases[] = {
        {"\xEF\xBB\xBFh\xC3\xA9", "h\xC3\xA9", 2},                    // byte order mark dropped
        {"caf\xE9 \xFF", "caf\xC3\xA9 \xC3\xBF", 6},                   // not UTF-8: ISO-8859-1
        {"", "", 0},                                                   // empty file
        {"\xF0\x9F\x8E\xA4!", "\xF0\x9F\x8E\xA4!", 3},                 // a pair counts two units
        {"\xEF\xBB\xBF", "", 0},
    };
    for (const Case& c : cases) {
        qktest::writeFile(dir.file("t.txt"), c.bytes);
        const Json a = read(dir.file("t.txt"));
        EXPECT_EQ(a["hr"], 0);
        EXPECT_EQ(a["result"], c.result);
        EXPECT_EQ(a["total"], c.total);
        EXPECT_EQ(a["eof"], true);
    }
    const Json missing = read(dir.file("missing.txt"));
    EXPECT_EQ(missing, qk::bridge::makeAnswer("r", -1, "read failed (cannot open)"));
    EXPECT_EQ(read(dir.path())["result"], "read failed (cannot open)");
    EXPECT_EQ(read("")["result"], "read failed (cannot open)");
}

TEST_F(FileActions, ReadfileChunksNeverSplitASurrogatePair) {
    const std::size_t chunk = qk::bridge::kMaxReadChunkUnits;
    // The chunk's last unit would be the first half of U+1F3A4.
    qktest::writeFile(dir.file("big.txt"), std::string(chunk - 1, 'a') + "\xF0\x9F\x8E\xA4" + "b");
    const Json first = read(dir.file("big.txt"));
    EXPECT_EQ(first["total"], chunk + 2);
    EXPECT_EQ(first["eof"], false);
    EXPECT_EQ(first["result"].get_ref<const std::string&>().size(), chunk - 1);
    const Json second = read(dir.file("big.txt"), chunk - 1);
    EXPECT_EQ(second["result"], "\xF0\x9F\x8E\xA4" "b");
    EXPECT_EQ(second["eof"], true);
    // An offset between the halves gets the lone half as U+FFFD.
    EXPECT_EQ(read(dir.file("big.txt"), chunk)["result"], "\xEF\xBF\xBD" "b");

    // Without the pair the chunk is full.
    qktest::writeFile(dir.file("plain.txt"), std::string(chunk + 5, 'x'));
    const Json plain = read(dir.file("plain.txt"));
    EXPECT_EQ(plain["result"].get_ref<const std::string&>().size(), chunk);
    EXPECT_EQ(plain["eof"], false);
    EXPECT_EQ(read(dir.file("plain.txt"), chunk)["result"], "xxxxx");
}

TEST_F(FileActions, ReadfileOfAChangedFileIsNeverStale) {
    // Chunks of a large file that has not changed for a while are served from
    // memory; any change between chunks must still show.
    const std::size_t chunk = qk::bridge::kMaxReadChunkUnits;
    const std::string inPlace = dir.file("in-place.txt"), replaced = dir.file("replaced.txt");
    qktest::writeFile(inPlace, std::string(chunk + 10, 'a'));
    qktest::writeFile(replaced, std::string(chunk + 10, 'a'));
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    EXPECT_EQ(read(inPlace)["eof"], false);
    qktest::writeFile(inPlace, std::string(chunk + 10, 'b'));  // same size, same file
    EXPECT_EQ(read(inPlace, chunk)["result"], std::string(10, 'b'));
    EXPECT_EQ(read(replaced)["eof"], false);
    qktest::writeFile(dir.file("next.txt"), std::string(chunk + 10, 'c'));
    fs::rename(dir.file("next.txt"), replaced);
    EXPECT_EQ(read(replaced, chunk)["result"], std::string(10, 'c'));
    EXPECT_EQ(read(replaced, chunk)["result"], std::string(10, 'c'));
}

TEST_F(FileActions, WritesAreRefusedUntilThePageDeclaresRoots) {
    for (const char* action : {"writefile", "mkdir", "deletefile"}) {
        const Json a = run(action, {{"path", dir.file("pending-end-show.json")}, {"content", "x"}});
        EXPECT_EQ(a, qk::bridge::makeAnswer("r", -1, kOutside)) << action;
        EXPECT_TRUE(log.hasLine(std::string("REFUSED ") + action + " outside write roots: " +
                                qk::bridge::canonicalizePath(dir.file("pending-end-show.json"))));
    }
    EXPECT_TRUE(names(dir.path()).empty());
}

TEST_F(FileActions, WritefileCreatesMissingFoldersInsideARootOnly) {
    fs::create_directory(dir.file("Karaoke"));
    fs::create_directory(dir.file("Karaoke2"));
    allow({dir.file("Karaoke")});
    EXPECT_EQ(write(dir.file("Karaoke/shows/a.json"), "{\"x\":\"\xC3\xA9\"}\r\n"), qk::bridge::makeAnswer("r", 0, ""));
    EXPECT_EQ(qktest::readFile(dir.file("Karaoke/shows/a.json")), "{\"x\":\"\xC3\xA9\"}\r\n");
    EXPECT_EQ(write(dir.file("Karaoke2/a.json"), "x")["result"], kOutside);
    EXPECT_FALSE(qktest::exists(dir.file("Karaoke2/a.json")));
    // The root itself can hold files, and forward "." and ".." stay inside.
    EXPECT_EQ(write(dir.file("Karaoke/./shows/../b.json"), "b")["hr"], 0);
    EXPECT_EQ(qktest::readFile(dir.file("Karaoke/b.json")), "b");
    // Only the target is left: no temporary files.
    EXPECT_EQ(names(dir.file("Karaoke")), (std::vector<std::string>{"b.json", "shows"}));
}

TEST_F(FileActions, MkdirAndDeletefile) {
    allow({dir.path()});
    EXPECT_EQ(run("mkdir", {{"path", dir.file("a/b/c")}}), qk::bridge::makeAnswer("r", 0, ""));
    EXPECT_EQ(run("mkdir", {{"path", dir.file("a/b/c")}})["hr"], 0);  // already there
    qktest::writeFile(dir.file("file"), "x");
    EXPECT_EQ(run("mkdir", {{"path", dir.file("file")}}), qk::bridge::makeAnswer("r", -1, "mkdir failed"));

    struct Case {
        const char* name;
        bool deletable;
    };
    const Case cases[] = {{"QuorvaleKaraoke-Backup-2024.JSON", true}, {"quorvalekaraoke-backup-.json", true},
                          {"PENDING-END-SHOW.json", true},          {"notes.json", false},
                          {"QuorvaleKaraoke-backup-1.json.bak", false}, {"QuorvaleKaraoke-backup.json", false}};
    for (const Case& c : cases) {
        qktest::writeFile(dir.file(c.name), "x");
        const Json a = run("deletefile", {{"path", dir.file(c.name)}});
        if (c.deletable) {
            EXPECT_EQ(a, qk::bridge::makeAnswer("r", 0, "")) << c.name;
            EXPECT_FALSE(qktest::exists(dir.file(c.name)));
        } else {
            EXPECT_EQ(a, qk::bridge::makeAnswer("r", -1, "refused: not a QuorvaleKaraoke backup file")) << c.name;
            EXPECT_TRUE(log.hasLine(std::string("REFUSED delete (not a backup file): ") + c.name));
            EXPECT_TRUE(qktest::exists(dir.file(c.name)));
        }
    }
    EXPECT_EQ(run("deletefile", {{"path", dir.file("pending-end-show.json")}}),
              qk::bridge::makeAnswer("r", -1, "delete failed"));
    // Outside every root the root check comes first.
    allow({dir.file("a")});
    qktest::writeFile(dir.file("QuorvaleKaraoke-backup-9.json"), "x");
    EXPECT_EQ(run("deletefile", {{"path", dir.file("QuorvaleKaraoke-backup-9.json")}})["result"], kOutside);
}

TEST_F(FileActions, ListdirAndStatfile) {
    fs::create_directory(dir.file("sub"));
    qktest::writeFile(dir.file("caf\xC3\xA9.json"), "12345");
    fs::create_directory_symlink(dir.file("sub"), dir.file("link-to-sub"));
    const Json a = run("listdir", {{"path", dir.path() + "//"}});
    EXPECT_EQ(a["hr"], 0);
    const std::string& text = a["result"].get_ref<const std::string&>();
    EXPECT_NE(text.find(R"({"dir":false,"name":"caf\u00e9.json"})"), std::string::npos) << text;
    Json list = Json::parse(text);
    std::sort(list.begin(), list.end(), [](const Json& x, const Json& y) { return x["name"] < y["name"]; });
    EXPECT_EQ(list, Json::parse(R"([{"dir":false,"name":"café.json"},{"dir":true,"name":"link-to-sub"},
                                   {"dir":true,"name":"sub"}])"));
    EXPECT_EQ(run("listdir", {{"path", dir.file("nope")}}), qk::bridge::makeAnswer("r", -1, "listdir failed"));

    const Json s = run("statfile", {{"path", dir.file("caf\xC3\xA9.json")}});
    EXPECT_EQ(s["exists"], true);
    EXPECT_EQ(s["size"], 5u);
    EXPECT_TRUE(s["mtime"].is_number_float());
    const auto written = fs::last_write_time(dir.file("caf\xC3\xA9.json"));
    const double expected = static_cast<double>(
        std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::file_clock::to_sys(written).time_since_epoch()).count());
    EXPECT_EQ(s["mtime"].get<double>(), expected);
    EXPECT_EQ(run("statfile", {{"path", dir.file("none")}}).dump(),
              R"({"exists":false,"hr":0,"id":"r","mtime":0.0,"result":"","size":0})");
    EXPECT_EQ(run("statfile", Json::object())["exists"], false);
}

TEST_F(FileActions, DrivesListTheRootAndHome) {
    const Json a = run("drives", Json::object());
    EXPECT_EQ(a["hr"], 0);
    const Json list = Json::parse(a["result"].get<std::string>());
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0], Json::parse(R"({"label":"/","root":"/"})"));
    EXPECT_EQ(a["home"], qk::platform::homeFolder());
}

TEST(DriveRoots, OnlyLocalMediaCount) {
    const std::vector<qk::platform::MountEntry> mounts = {
        {"/dev/sda2", "/", "ext4"},
        {"/dev/sda1", "/boot/efi", "vfat"},
        {"/dev/sdb1", "/media/kj/USB STICK", "vfat"},
        {"/dev/sdc1", "/run/media/kj/SONGS", "exfat"},
        {"/dev/sr0", "/media/kj/CD", "iso9660"},
        {"/dev/loop3", "/snap/core/1", "squashfs"},
        {"server:/export", "/mnt/nas", "nfs4"},
        {"//nas/share", "/mnt/smb", "cifs"},
        {"tmpfs", "/run", "tmpfs"},
        {"/dev/sda3", "/home", "ext4"},
        {"/dev/sdb1", "/media/kj/USB STICK/", "vfat"},  // the same disk twice
        {"/dev/sdd1", "/var/lib/docker", "ext4"},
    };
    EXPECT_EQ(qk::bridge::localDriveRoots(mounts),
              (std::vector<std::string>{"/", "/media/kj/USB STICK", "/run/media/kj/SONGS", "/home"}));
}

// Links, "..", and roots given in other spellings.
TEST_F(FileActions, NothingLeavesARootThroughLinksOrDots) {
    fs::create_directory(dir.file("root"));
    fs::create_directory(dir.file("outside"));
    qktest::writeFile(dir.file("outside/QuorvaleKaraoke-backup-1.json"), "keep");
    fs::create_directory_symlink(dir.file("outside"), dir.file("root/out"));
    fs::create_symlink(dir.file("outside/QuorvaleKaraoke-backup-1.json"), dir.file("root/QuorvaleKaraoke-backup-1.json"));
    fs::create_symlink(dir.file("outside/not-yet"), dir.file("root/dangling"));
    allow({dir.file("root")});

    const std::string root = dir.file("root");
    struct Case {
        const char* action;
        std::string path;
    };
    const Case refused[] = {
        {"writefile", root + "/out/a.json"},
        {"writefile", root + "/out/new/a.json"},
        {"mkdir", root + "/out/made"},
        {"mkdir", root + "/dangling/sub"},
        {"writefile", root + "/dangling/a.json"},
        {"writefile", root + "/dangling"},
        {"deletefile", root + "/QuorvaleKaraoke-backup-1.json"},
        {"deletefile", root + "/out/QuorvaleKaraoke-backup-1.json"},
        {"writefile", root + "/../outside/b.json"},
        {"writefile", root + "/sub/../../outside/b.json"},
        {"mkdir", root + "/../../escape"},
    };
    for (const Case& c : refused) {
        EXPECT_EQ(run(c.action, {{"path", c.path}, {"content", "x"}})["result"], kOutside) << c.action << " " << c.path;
    }
    EXPECT_EQ(names(dir.file("outside")), std::vector<std::string>{"QuorvaleKaraoke-backup-1.json"});
    EXPECT_EQ(qktest::readFile(dir.file("outside/QuorvaleKaraoke-backup-1.json")), "keep");

    // A root with a trailing separator, or reached through a link, admits the same folder.
    fs::create_directory_symlink(root, dir.file("root-link"));
    for (const std::string& spelling : {root + "/", root + "///", dir.file("root-link"), dir.file("root-link/")}) {
        allow({spelling});
        EXPECT_EQ(write(root + "/ok.json", "1")["hr"], 0) << spelling;
        EXPECT_EQ(write(dir.file("root-link/ok2.json"), "2")["hr"], 0) << spelling;
        EXPECT_EQ(write(dir.file("root2/x.json"), "2")["result"], kOutside) << spelling;
    }
    // The root itself is not a file one can write, but it is inside.
    EXPECT_EQ(run("mkdir", {{"path", root}})["hr"], 0);
}

// The system would use such a path cut at the NUL: another folder, another file.
TEST_F(FileActions, APathHoldingNulIsRefusedBeforeTheDiskIsTouched) {
    allow({dir.path()});
    qktest::writeFile(dir.file("notes.json"), "keep");
    const std::string nul(1, '\0');
    const Json missing = Json::parse(R"({"exists":false,"hr":0,"id":"r","mtime":0.0,"result":"","size":0})");
    struct Case {
        const char* action;
        std::string path;
        Json answer;
    };
    const Case cases[] = {
        {"writefile", dir.file("made") + nul + "/a.json", qk::bridge::makeAnswer("r", -1, kOutside)},
        {"mkdir", dir.file("made") + nul + "x", qk::bridge::makeAnswer("r", -1, kOutside)},
        {"deletefile", dir.file("notes.json") + nul + "/QuorvaleKaraoke-backup-1.json",
         qk::bridge::makeAnswer("r", -1, kOutside)},
        {"readfile", dir.file("notes.json") + nul, qk::bridge::makeAnswer("r", -1, "read failed (cannot open)")},
        {"statfile", dir.file("notes.json") + nul + "x", missing},
        {"listdir", dir.path() + nul + "/sub", qk::bridge::makeAnswer("r", -1, "listdir failed")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.action, {{"path", c.path}, {"content", "x"}}), c.answer) << c.action;
        std::string shown = c.path;
        shown.replace(shown.find('\0'), 1, "\\0");
        EXPECT_TRUE(log.hasLine(std::string("REFUSED ") + c.action + " path holding NUL: " + shown)) << log.text();
    }
    EXPECT_EQ(names(dir.path()), std::vector<std::string>{"notes.json"});
    EXPECT_EQ(qktest::readFile(dir.file("notes.json")), "keep");
}

TEST_F(FileActions, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    allow({dir.path()});
    const std::string target = dir.file("state.json");
    qktest::writeFile(target, "old");

    // The disk refuses the data (a file-size limit stands in for a full disk).
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const Json a = write(target, std::string(64 * 1024, 'n'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(a, qk::bridge::makeAnswer("r", -1, "write failed"));
    EXPECT_EQ(qktest::readFile(target), "old");

    // The rename cannot replace a folder.
    fs::create_directory(dir.file("folder.json"));
    qktest::writeFile(dir.file("folder.json/inner"), "x");
    EXPECT_EQ(write(dir.file("folder.json"), "x"), qk::bridge::makeAnswer("r", -1, "write failed (replace)"));
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"folder.json", "state.json"}));
}

// root/a -> other/deep/dir, where dir/link -> ../x points nowhere yet: the system
// takes "../x" from other/deep/dir, and so must the check and the write.
TEST_F(FileActions, ADanglingRelativeLinkCountsFromWhereItReallyLies) {
    fs::create_directories(dir.file("other/deep/dir"));
    fs::create_directory_symlink(dir.file("other/deep/dir"), dir.file("a"));
    fs::create_symlink("../x", dir.file("other/deep/dir/link"));
    const std::string real = *qk::platform::realPath(dir.path());
    EXPECT_EQ(qk::bridge::canonicalizePath(dir.file("a/link/file.json")), real + "/other/deep/x/file.json");

    allow({dir.file("other")});
    EXPECT_EQ(write(dir.file("a/link/file.json"), "through"), qk::bridge::makeAnswer("r", 0, ""));
    EXPECT_EQ(qktest::readFile(dir.file("other/deep/x/file.json")), "through");
    EXPECT_EQ(qktest::readFile(dir.file("a/link/file.json")), "through");
    EXPECT_FALSE(qktest::exists(dir.file("x")));
}

// Another process that can write in a root swaps the checked folder for a link
// to somewhere else while the write is under way: the bytes still go only to the
// folder that was checked, wherever it went.
TEST_F(FileActions, AFolderSwappedForALinkDuringAWriteTakesNothingOutside) {
    fs::create_directories(dir.file("root/sub"));
    fs::create_directory(dir.file("outside"));
    allow({dir.file("root")});
    qktest::atNextFileChange([&] {
        fs::rename(dir.file("root/sub"), dir.file("root/moved"));
        fs::create_directory_symlink(dir.file("outside"), dir.file("root/sub"));
    });
    const Json a = write(dir.file("root/sub/a.json"), "secret");
    qktest::atNextFileChange(nullptr);
    EXPECT_TRUE(names(dir.file("outside")).empty()) << a;
    EXPECT_EQ(a, qk::bridge::makeAnswer("r", 0, ""));
    EXPECT_EQ(qktest::readFile(dir.file("root/moved/a.json")), "secret");

    // Once the link is there, the check itself sees where it leads.
    EXPECT_EQ(write(dir.file("root/sub/b.json"), "x")["result"], kOutside);
    EXPECT_EQ(run("mkdir", {{"path", dir.file("root/sub/made")}})["result"], kOutside);
    EXPECT_TRUE(names(dir.file("outside")).empty());
}

// A rewrite is a new file under the old name; to everyone else it is the same file.
TEST_F(FileActions, ARewriteKeepsTheFilesPermissionsAndOwner) {
    allow({dir.path()});
    const mode_t mask = ::umask(022);
    ::umask(mask);
    const bool root = ::geteuid() == 0;
    struct Case {
        mode_t mode;
        int owner;  // -1: the test's own
    };
    const Case cases[] = {{0640, -1}, {0600, -1}, {0755, -1}, {0444, -1}, {0604, root ? 4321 : -1}};
    for (const Case& c : cases) {
        const std::string target = dir.file("doc.json");
        qktest::writeFile(target, "old");
        ASSERT_EQ(::chmod(target.c_str(), c.mode), 0);
        if (c.owner >= 0) {
            ASSERT_EQ(::chown(target.c_str(), static_cast<uid_t>(c.owner), static_cast<gid_t>(c.owner)), 0);
        }
        struct stat before {};
        ::stat(target.c_str(), &before);
        EXPECT_EQ(write(target, "new")["hr"], 0);
        struct stat after {};
        ASSERT_EQ(::stat(target.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode & 07777, c.mode) << std::oct << c.mode;
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(qktest::readFile(target), "new");
        fs::remove(target);
    }
    // A new file gets the usual mode.
    EXPECT_EQ(write(dir.file("fresh.json"), "x")["hr"], 0);
    struct stat fresh {};
    ::stat(dir.file("fresh.json").c_str(), &fresh);
    EXPECT_EQ(fresh.st_mode & 0777, 0666 & ~mask);
}

// An answered write survives a power cut: the folder holding the renamed file is
// flushed after the rename, before the answer.
TEST_F(FileActions, AnAnsweredWriteIsOnTheDiskFolderAndAll) {
    allow({dir.path()});
    const std::string target = dir.file("audience.json");
    qktest::writeFile(target, "old");
    qktest::clearSyncedFiles();
    std::string atFolderSync = "(folder never flushed)";
    std::function<void()> watch = [&] {
        const auto synced = qktest::syncedFiles();
        if (!synced.empty() && synced.back().folder) {
            atFolderSync = qktest::readFile(target);
        } else {
            qktest::atNextFileChange(watch);
        }
    };
    qktest::atNextFileChange(watch);
    EXPECT_EQ(write(target, "new"), qk::bridge::makeAnswer("r", 0, ""));
    qktest::atNextFileChange(nullptr);
    const auto synced = qktest::syncedFiles();
    ASSERT_GE(synced.size(), 2u);
    EXPECT_FALSE(synced[synced.size() - 2].folder) << "the data first";
    EXPECT_TRUE(synced.back().folder);
    EXPECT_EQ(synced.back().path, *qk::platform::realPath(dir.path()));
    EXPECT_EQ(atFolderSync, "new") << "the folder is flushed after the rename";
}

TEST(Paths, CanonicalFormOfPathsThatDoNotExistYet) {
    qktest::TempDir dir;
    const std::string real = *qk::platform::realPath(dir.path());
    EXPECT_EQ(qk::bridge::canonicalizePath(""), "");
    EXPECT_EQ(qk::bridge::canonicalizePath(dir.path() + "/new/../x//y"), real + "/x/y");
    EXPECT_EQ(qk::bridge::canonicalizePath(dir.path() + "/a/b/"), real + "/a/b/");
    EXPECT_EQ(qk::bridge::canonicalizePath("/../.."), "/");
    EXPECT_EQ(qk::bridge::fullPath("rel/x"), qk::platform::currentFolder() + "/rel/x");
    // A loop of links has no canonical form, so nothing is inside a root through it.
    std::filesystem::create_symlink(dir.file("l2"), dir.file("l1"));
    std::filesystem::create_symlink(dir.file("l1"), dir.file("l2"));
    EXPECT_EQ(qk::bridge::canonicalizePath(dir.file("l1/x")), "");
    EXPECT_FALSE(qk::bridge::isInsideWriteRoots("", {"/"}));

    EXPECT_TRUE(qk::bridge::isInsideWriteRoots(real + "/data", {dir.path() + "/data"}));
    EXPECT_TRUE(qk::bridge::isInsideWriteRoots(real + "/data/x", {dir.path() + "/data"}));
    EXPECT_FALSE(qk::bridge::isInsideWriteRoots(real + "/data2", {dir.path() + "/data"}));
    EXPECT_FALSE(qk::bridge::isInsideWriteRoots(real + "/Data/x", {dir.path() + "/data"}));
    EXPECT_TRUE(qk::bridge::isInsideWriteRoots(real + "/b/x", {"", dir.path() + "/a", dir.path() + "/b"}));
}

}  // namespace
