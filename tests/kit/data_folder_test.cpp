#include "kit/data_folder.h"

#include <gtest/gtest.h>

#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"

namespace {

struct FolderCase {
    const char* host;
    char separator;
    char alt;
    const char* expected;
};

TEST(DataFolder, NormalisesTheHostFolderText) {
    const FolderCase cases[] = {
        // POSIX: only '/' is a separator; trailing ones go.
        {"/home/kj/VirtualDJ", '/', '\0', "/home/kj/VirtualDJ/QuorvaleKaraoke"},
        {"/home/kj/VirtualDJ/", '/', '\0', "/home/kj/VirtualDJ/QuorvaleKaraoke"},
        {"/home/kj/VirtualDJ///", '/', '\0', "/home/kj/VirtualDJ/QuorvaleKaraoke"},
        {"/", '/', '\0', "/QuorvaleKaraoke"},
        // Windows: forward slashes become backslashes first.
        {"C:/Users/kj/VirtualDJ/", '\\', '/', "C:\\Users\\kj\\VirtualDJ\\QuorvaleKaraoke"},
        {"C:\\VirtualDJ\\\\\\", '\\', '/', "C:\\VirtualDJ\\QuorvaleKaraoke"},
        {"D:\\dj/", '\\', '/', "D:\\dj\\QuorvaleKaraoke"},
        {"\\", '\\', '/', "\\QuorvaleKaraoke"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qk::dataFolderFromHostText(c.host, c.separator, c.alt), c.expected) << c.host;
}

TEST(DataFolder, ResolvesCreatesAndRotatesTheLog) {
    qktest::TempDir tmp;
    qktest::FakeHost host;
    host.folder = tmp.path() + "/vdj//";
    const std::string qkDir = qk::resolveDataFolder(&host, "sound.log");
    EXPECT_EQ(qkDir, qktest::join(tmp.file("vdj"), "QuorvaleKaraoke"));  // '/' turned into '\\' on Windows
    EXPECT_TRUE(qktest::exists(qkDir));
    EXPECT_EQ(qk::joinDataPath(qkDir, "sound.log"), qktest::join(qkDir, "sound.log"));
    EXPECT_EQ(qk::joinDataPath("", "sound.log"), "");

    // Exactly 1 MiB stays; one byte more is deleted before the load logs anything.
    const std::string log = qktest::join(qkDir, "sound.log");
    qktest::writeFile(log, std::string(1048576, 'x'));
    qk::resolveDataFolder(&host, "sound.log");
    EXPECT_EQ(qktest::readFile(log).size(), 1048576u);
    qktest::writeFile(log, std::string(1048577, 'x'));
    qk::resolveDataFolder(&host, "sound.log");
    EXPECT_FALSE(qktest::exists(log));
}

TEST(DataFolder, NoFolderWhenTheHostGivesNone) {
    qktest::FakeHost empty;  // answers an empty text
    EXPECT_EQ(qk::resolveDataFolder(&empty, "overlay.log"), "");
    qktest::FakeHost failing;
    failing.folder = "/tmp";
    failing.folderResult = -1;
    EXPECT_EQ(qk::resolveDataFolder(&failing, "overlay.log"), "");
    EXPECT_EQ(qk::resolveDataFolder(nullptr, "overlay.log"), "");
}

}  // namespace
