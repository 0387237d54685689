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
    const auto a = qk::platform::createUniqueFile(tmp.path(), "qkw");
    const auto b = qk::platform::createUniqueFile(tmp.path(), "qkw");
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    EXPECT_EQ(a->rfind(qktest::join(tmp.path(), "qkw"), 0), 0u);
    {
        auto w = qk::platform::WritableFile::create(*a);
        ASSERT_TRUE(w);
        EXPECT_EQ(w->write("new", 3), 3);
        EXPECT_TRUE(w->flush());
    }
    qktest::writeFile(tmp.file("target"), "old contents");
    EXPECT_TRUE(qk::platform::replaceFile(*a, tmp.file("target")));
    EXPECT_EQ(qktest::readFile(tmp.file("target")), "new");
    EXPECT_FALSE(qktest::exists(*a));
    EXPECT_FALSE(qk::platform::createUniqueFile(tmp.file("no/such/folder"), "qks"));
}

}  // namespace
