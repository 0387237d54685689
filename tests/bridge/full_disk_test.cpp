// "writefile" from the page into a small file system that is full: a tmpfs of a
// few pages mounted by the test (which needs the rights to mount).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "tests/bridge/bridge_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using qktest::BridgeRig;

// A size-limited tmpfs on a fresh folder, unmounted at the end.
class SmallDisk {
public:
    explicit SmallDisk(const char* options) {
        if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options) == 0)
            mounted_ = true;
        else
            reason_ = std::string("cannot mount a tmpfs here (") + std::strerror(errno) + ")";
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string& reason() const { return reason_; }
    std::string file(const char* name) const { return dir_.file(name); }
    const std::string& path() const { return dir_.path(); }

private:
    qktest::TempDir dir_;
    bool mounted_ = false;
    std::string reason_;
};

// Writes into one file until the disk has no block left.
void fillBlocks(const SmallDisk& disk) {
    const int fd = ::open(disk.file("filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    EXPECT_EQ(errno, ENOSPC);
    ::close(fd);
}

// Creates empty files until the disk has no inode left.
void fillInodes(const SmallDisk& disk) {
    for (int i = 0;; ++i) {
        const int fd = ::open(disk.file(("n" + std::to_string(i)).c_str()).c_str(), O_WRONLY | O_CREAT, 0644);
        if (fd < 0) {
            EXPECT_EQ(errno, ENOSPC);
            return;
        }
        ::close(fd);
    }
}

std::string writefile(BridgeRig& rig, const std::string& id, const std::string& path, const std::string& content) {
    return rig.sendAndWait(qk::Json{{"id", id}, {"action", "writefile"}, {"path", path}, {"content", content}}.dump());
}

TEST(FullDisk, WritefileFailsAndKeepsTheOldFile) {
    struct Case {
        const char* name;
        const char* options;
        std::function<void(const SmallDisk&)> fill;
        std::size_t newBytes;
    };
    const Case cases[] = {
        {"no block left", "size=256k,nr_inodes=64", fillBlocks, 64 * 1024},
        {"no inode left", "size=1m,nr_inodes=16", fillInodes, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmallDisk disk(c.options);
        if (!disk.mounted()) GTEST_SKIP() << disk.reason();
        BridgeRig rig;
        rig.send(qk::Json{{"id", "roots"}, {"action", "set_write_roots"}, {"roots", {disk.path()}}}.dump());
        const std::string target = disk.file("QuorvaleKaraoke-state.json");
        const std::string old = R"({"rotation":["old"]})";
        ASSERT_EQ(BridgeRig::answerOf(writefile(rig, "w1", target, old))["hr"], 0);
        c.fill(disk);
        std::vector<std::string> before;
        for (const auto& e : fs::directory_iterator(disk.path())) before.push_back(e.path().filename().string());

        const qk::Json answer = BridgeRig::answerOf(writefile(rig, "w2", target, std::string(c.newBytes, 'n')));
        EXPECT_EQ(answer["id"], "w2");
        EXPECT_EQ(answer["hr"], -1);
        EXPECT_EQ(answer["result"].get<std::string>().rfind("write failed", 0), 0u) << answer.dump();
        EXPECT_EQ(qktest::readFile(target), old);
        std::vector<std::string> after;
        for (const auto& e : fs::directory_iterator(disk.path())) after.push_back(e.path().filename().string());
        std::sort(before.begin(), before.end());
        std::sort(after.begin(), after.end());
        EXPECT_EQ(after, before) << "a temporary file was left";
    }
}

}  // namespace
