#include "kit/file_read.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace {

TEST(ReadWholeFile, BoundsAndFailures) {
    qktest::TempDir tmp;
    qktest::writeFile(tmp.file("one"), "x");
    qktest::writeFile(tmp.file("empty"), "");
    qktest::writeFile(tmp.file("doc.json"), "{\"a\":1}");
    EXPECT_EQ(qk::readWholeFile(tmp.file("one")), "x");
    EXPECT_EQ(qk::readWholeFile(tmp.file("doc.json")), "{\"a\":1}");
    EXPECT_FALSE(qk::readWholeFile(tmp.file("empty")));
    EXPECT_FALSE(qk::readWholeFile(tmp.file("missing")));
    EXPECT_FALSE(qk::readWholeFile(tmp.path()));  // a folder

    // Sparse files: exactly 64 MiB is read, one byte more is refused without reading.
    qktest::writeFile(tmp.file("max"), "");
    std::filesystem::resize_file(tmp.file("max"), 67108864);
    const auto max = qk::readWholeFile(tmp.file("max"));
    ASSERT_TRUE(max);
    EXPECT_EQ(max->size(), 67108864u);
    qktest::writeFile(tmp.file("big"), "");
    std::filesystem::resize_file(tmp.file("big"), 67108865);
    EXPECT_FALSE(qk::readWholeFile(tmp.file("big")));
}

}  // namespace

#include "platform/files.h"

namespace {

TEST(FilesSeam, UniqueFileWriteAndReplace) {
    qktest::TempDir tmp;
    auto folder = qk::platform::Folder::open(tmp.path());
    ASSERT_TRUE(folder);
    std::string a, b;
    auto w = folder->createReplacement("qkw", "target", a);
    ASSERT_TRUE(w && folder->createReplacement("qkw", "target", b));
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind("qkw", 0), 0u);
    EXPECT_EQ(a.size(), 9u);
    EXPECT_EQ(w->write("new", 3), 3);
    EXPECT_TRUE(w->flush());
    w.reset();
    qktest::writeFile(tmp.file("target"), "old contents");
    EXPECT_TRUE(folder->replace(a, "target", true));
    EXPECT_EQ(qktest::readFile(tmp.file("target")), "new");
    EXPECT_FALSE(qktest::exists(tmp.file(a)));
    EXPECT_TRUE(folder->remove(b));
    EXPECT_FALSE(qktest::exists(tmp.file(b)));
    EXPECT_FALSE(qk::platform::Folder::open(tmp.file("no/such/folder")));
    EXPECT_FALSE(qk::platform::Folder::open(tmp.file("target")));
}

#if !defined(_WIN32)
// A folder held open stays the folder it was when opened: moving it away and
// putting a link in its place sends nothing through the link. (On Windows a held
// folder cannot be moved away at all: its handle is not opened for sharing.)
TEST(FilesSeam, AHeldFolderIsNeverReachedThroughALinkPutInItsPlace) {
    qktest::TempDir tmp;
    std::filesystem::create_directories(tmp.file("root/sub"));
    std::filesystem::create_directory(tmp.file("outside"));
    qktest::writeFile(tmp.file("outside/victim"), "keep");
    auto folder = qk::platform::Folder::open(tmp.file("root/sub"));
    ASSERT_TRUE(folder);
    const std::string real = *qk::platform::realPath(tmp.path());
    EXPECT_EQ(folder->finalPath(), real + "/root/sub");

    std::filesystem::rename(tmp.file("root/sub"), tmp.file("root/moved"));
    std::filesystem::create_directory_symlink(tmp.file("outside"), tmp.file("root/sub"));
    EXPECT_EQ(folder->finalPath(), real + "/root/moved");
    std::string name;
    auto w = folder->createReplacement("qkw", "victim", name);
    ASSERT_TRUE(w);
    w->write("x", 1);
    w.reset();
    EXPECT_TRUE(folder->replace(name, "victim", false));
    EXPECT_EQ(qktest::readFile(tmp.file("outside/victim")), "keep");
    EXPECT_EQ(qktest::readFile(tmp.file("root/moved/victim")), "x");

    // Links in a name's place are not followed: not into a subfolder, not when removed.
    std::filesystem::create_directory_symlink(tmp.file("outside"), tmp.file("root/moved/link"));
    EXPECT_FALSE(folder->subfolder("link"));
    EXPECT_TRUE(folder->subfolder("made"));
    EXPECT_TRUE(std::filesystem::is_directory(tmp.file("root/moved/made")));
    EXPECT_FALSE(folder->subfolder("victim"));  // a file
    EXPECT_FALSE(folder->subfolder("../escape"));
    EXPECT_TRUE(folder->remove("link"));
    EXPECT_TRUE(qktest::exists(tmp.file("outside/victim")));
}
#endif

}  // namespace
