// The Win32 backends of the files, clock and module-folder seams, on real files
// in a temporary folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/module_dir.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
namespace pf = qk::platform;

namespace {

std::string readAll(const std::string& path) {
    auto f = pf::ReadableFile::open(path);
    if (!f) return "<none>";
    std::string out(static_cast<size_t>(std::max<std::int64_t>(f->size(), 0)), '\0');
    out.resize(static_cast<size_t>(std::max<std::int64_t>(f->read(out.data(), out.size()), 0)));
    return out;
}

TEST(FilesWin32, NamesOutsideTheAnsiCodePageRoundTripAsUtf8) {
    qktest::TempDir tmp;
    const std::string folder = tmp.file("K\xC3\xA9y \xE2\x99\xAB");      // "Kéy ♫"
    const std::string name = "\xE6\xAD\x8C \xF0\x9F\x8E\xA4.txt";         // a CJK letter and an emoji (a surrogate pair)
    ASSERT_TRUE(pf::createFolders(folder));
    const std::string path = qktest::join(folder, name);
    {
        auto held = pf::Folder::open(folder);
        ASSERT_TRUE(held);
        std::string temp;
        auto w = held->createReplacement("\xE2\x99\xAB", name, temp);  // a prefix outside the code page too
        ASSERT_TRUE(w);
        EXPECT_EQ(w->write("hello", 5), 5);
        EXPECT_TRUE(w->flush());
        w.reset();
        EXPECT_TRUE(held->replace(temp, name, true));
        EXPECT_EQ(held->finalPath()->substr(held->finalPath()->size() - 9), "\\K\xC3\xA9y \xE2\x99\xAB");
    }
    // The name on disk is the UTF-16 form of the UTF-8 text, not a code-page guess.
    EXPECT_TRUE(fs::exists(fs::u8path(folder) / fs::u8path(name)));
    EXPECT_EQ(readAll(path), "hello");
    EXPECT_EQ(pf::fileSize(path), 5);
    const auto entries = pf::listFolder(folder);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ((*entries)[0].name, name);
    EXPECT_FALSE((*entries)[0].isFolder);
    const pf::FileAttributes a = pf::fileAttributes(path);
    EXPECT_TRUE(a.exists);
    EXPECT_EQ(a.size, 5u);
    EXPECT_NEAR(static_cast<double>(a.mtimeMillis), static_cast<double>(pf::unixTimeMillis()), 60000);
    EXPECT_TRUE(pf::removeFile(path));
    EXPECT_FALSE(pf::fileSize(path));
    EXPECT_TRUE(pf::removeFolder(folder));
    EXPECT_FALSE(pf::fileAttributes(folder).exists);
}

TEST(FilesWin32, FoldersWithEitherSeparatorAndWhatIsInTheWay) {
    qktest::TempDir tmp;
    const std::string nested = tmp.path() + "/a\\b/c";
    EXPECT_TRUE(pf::createFolders(nested));
    EXPECT_TRUE(pf::createFolders(nested + "\\"));  // existing, trailing separator
    EXPECT_TRUE(pf::fileAttributes(tmp.file("a\\b\\c")).isFolder);
    EXPECT_FALSE(pf::fileSize(nested));            // a folder has no file size
    EXPECT_FALSE(pf::ReadableFile::open(nested));  // nor opens as a file

    qktest::writeFile(tmp.file("file"), "x");
    EXPECT_FALSE(pf::createFolders(tmp.file("file\\sub")));
    EXPECT_FALSE(pf::createFolders(""));
    EXPECT_FALSE(pf::ReadableFile::open(tmp.file("missing")));
    // Devices and pipes open without blocking, and are refused as not being files.
    EXPECT_FALSE(pf::ReadableFile::open("NUL"));
    const HANDLE pipe = ::CreateNamedPipeW(L"\\\\.\\pipe\\qk-files-test", PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 64, 64,
                                           0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(pf::ReadableFile::open("\\\\.\\pipe\\qk-files-test"));
    ::CloseHandle(pipe);
    EXPECT_FALSE(pf::listFolder(tmp.file("missing")));
    const auto empty = pf::listFolder(tmp.file("a\\b\\c"));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

TEST(FilesWin32, ReadersShareWithAppendsAndReplacements) {
    qktest::TempDir tmp;
    const std::string inbox = tmp.file("sound-inbox.jsonl");
    ASSERT_TRUE(pf::appendToFile(inbox, "one\n"));
    auto reader = pf::ReadableFile::open(inbox);
    ASSERT_TRUE(reader);
    // Another writer appends while the poller holds the file open.
    ASSERT_TRUE(pf::appendToFile(inbox, "two\n"));
    EXPECT_EQ(reader->size(), 8);
    ASSERT_TRUE(reader->seek(4));
    char buffer[16];
    EXPECT_EQ(reader->read(buffer, sizeof buffer), 4);
    EXPECT_EQ(std::string(buffer, 4), "two\n");
    EXPECT_EQ(reader->read(buffer, sizeof buffer), 0);

    // A state file is replaced whole through a unique file beside it.
    const std::string state = tmp.file("sound-state.json");
    qktest::writeFile(state, "old");
    const auto before = pf::fileVersion(state);
    auto held = pf::Folder::open(tmp.path());
    ASSERT_TRUE(held);
    std::string temp;
    auto w = held->createReplacement("qks", "sound-state.json", temp);
    ASSERT_TRUE(w);
    EXPECT_EQ(temp.rfind("qks", 0), 0u);
    EXPECT_EQ(w->write("newer", 5), 5);
    w.reset();
    {
        // A reader holding the old file for a moment only delays the replacement.
        auto busy = pf::ReadableFile::open(state);
        std::thread letGo([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            busy.reset();
        });
        EXPECT_TRUE(held->replace(temp, "sound-state.json", false));
        letGo.join();
    }
    EXPECT_EQ(readAll(state), "newer");
    EXPECT_FALSE(qktest::exists(tmp.file(temp)));
    // Names stay in the folder held; a folder is not removed as a file.
    EXPECT_FALSE(held->replace("..\\x", "sound-state.json", false));
    EXPECT_FALSE(held->remove("..\\sound-state.json"));
    ASSERT_TRUE(held->subfolder("sub"));
    EXPECT_FALSE(held->subfolder("sound-state.json"));
    EXPECT_FALSE(held->remove("sub"));
    EXPECT_FALSE(pf::Folder::open(state));
    const auto after = pf::fileVersion(state);
    ASSERT_TRUE(before && after);
    EXPECT_NE(*before, *after);
    EXPECT_EQ(after->size, 5);
    EXPECT_FALSE(pf::fileVersion(tmp.file("missing")));
}

TEST(FilesWin32, FoldersOfTheSystemAndFinalPaths) {
    const std::string temp = pf::tempFolder();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), '\\');
    EXPECT_TRUE(pf::fileAttributes(temp).isFolder);
    const std::string home = pf::homeFolder();
    EXPECT_NE(home.back(), '\\');

    qktest::TempDir tmp;
    qktest::writeFile(tmp.file("f.txt"), "x");
    const auto real = pf::realPath(tmp.path() + "/./f.txt");
    ASSERT_TRUE(real);
    EXPECT_EQ(real->rfind("\\\\?\\", 0), std::string::npos) << *real;  // no long-path prefix
    EXPECT_EQ(real->substr(1, 2), ":\\") << *real;
    EXPECT_EQ(real->substr(real->size() - 6), "\\f.txt");
    EXPECT_FALSE(pf::realPath(tmp.file("missing")));

    const std::string current = pf::currentFolder();
    ASSERT_FALSE(current.empty());
    EXPECT_TRUE(pf::fileAttributes(current).isFolder);

    bool sawC = false;
    for (const auto& m : pf::listMounts()) sawC = sawC || m.mountPoint == "C:\\";
    EXPECT_TRUE(sawC);
}

TEST(ModuleDirWin32, TheModuleHandleOrAnyAddressInItNamesItsFolder) {
    const HMODULE self = ::GetModuleHandleW(nullptr);
    const std::string dir = pf::moduleDirectory(self);
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.back(), '\\');
    EXPECT_TRUE(qktest::exists(qktest::join(dir, "platform_win32_tests.exe")));
    EXPECT_EQ(pf::moduleDirectory(reinterpret_cast<const void*>(&readAll)), dir);
    EXPECT_EQ(pf::moduleDirectory(nullptr), "");
    int onTheStack = 0;
    EXPECT_EQ(pf::moduleDirectory(&onTheStack), "");
}

TEST(ClockWin32, WallClockCalendarAndMonotonicAgree) {
    const auto system = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    EXPECT_NEAR(static_cast<double>(pf::unixTimeMillis()), static_cast<double>(system), 2000);
    const pf::CalendarTime utc = pf::utcTimeNow();
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    gmtime_s(&t, &now);
    EXPECT_EQ(utc.year, t.tm_year + 1900);
    EXPECT_EQ(utc.month, t.tm_mon + 1);
    EXPECT_GE(utc.millisecond, 0);
    EXPECT_LT(utc.millisecond, 1000);
    const double start = pf::monotonicSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_GE(pf::monotonicSeconds() - start, 0.025);
}

}  // namespace
