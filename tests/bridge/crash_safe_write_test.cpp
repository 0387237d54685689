// Whole-file writers killed at random moments: a child process rewrites one
// document in a loop until SIGKILL ends it, and after every kill the document
// must be whole (the last one written or the one before, never empty or mixed)
// with at most the one temporary file the child was writing left beside it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "bridge/file_io.h"
#include "sound/state_file.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Writer = std::function<bool(const std::string& path, const std::string& bytes)>;

// Generation `gen` of the document: a header naming the generation and the body's
// size, a body of one letter, and a trailer, so that any cut or mix shows.
std::string document(long gen, const std::vector<std::size_t>& sizes) {
    const std::size_t size = sizes[static_cast<std::size_t>(gen) % sizes.size()];
    std::string text = "gen=" + std::to_string(gen) + " size=" + std::to_string(size) + "\n";
    text.append(size, static_cast<char>('a' + gen % 26));
    text += "\nend\n";
    return text;
}

// The generation of a whole document, or -1 when the text is not one.
long generationOf(const std::string& text, const std::vector<std::size_t>& sizes) {
    long gen = -1;
    if (std::sscanf(text.c_str(), "gen=%ld", &gen) != 1 || gen < 0) return -1;
    return text == document(gen, sizes) ? gen : -1;
}

struct Case {
    const char* name;
    Writer write;
    const char* tempPrefix;
    std::vector<std::size_t> sizes;  // bodies in turn; the large one spans several write requests
};

std::vector<std::string> temporaries(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) == 0) out.push_back(e.path().string());
    }
    return out;
}

// Rewrites the document from the generation after the one on disk until killed.
[[noreturn]] void rewriteForever(const Case& c, const std::string& path) {
    long gen = generationOf(qktest::readFile(path), c.sizes);
    if (gen < 0) ::_exit(2);
    for (;;) {
        if (!c.write(path, document(++gen, c.sizes))) ::_exit(3);
    }
}

TEST(CrashSafeWrites, KilledWritersLeaveAWholeDocument) {
    const Case cases[] = {
        {"writeFileAtomic",
         [](const std::string& path, const std::string& bytes) {
             std::string error;
             return qk::bridge::writeFileAtomic(path, bytes, error);
         },
         "qkw", {100, 200 * 1024, qk::bridge::kMaxIoRequestBytes + 64 * 1024}},
        {"sound state file", [](const std::string& path, const std::string& bytes) {
             return qk::sound::replaceFileWhole(path, bytes);
         },
         "qks", {40, 8 * 1024}},
    };
    constexpr int kKills = 200;  // for each writer
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qktest::TempDir dir;
        const std::string path = dir.file("doc.json");
        // The kills fall anywhere within a few rewrites: the longest rewrite of this
        // disk, measured once here, sets the range.
        auto slowest = std::chrono::microseconds(0);
        for (long gen = 0; gen < static_cast<long>(c.sizes.size()); ++gen) {
            const auto start = std::chrono::steady_clock::now();
            ASSERT_TRUE(c.write(path, document(gen, c.sizes)));
            slowest = std::max(slowest, std::chrono::duration_cast<std::chrono::microseconds>(
                                            std::chrono::steady_clock::now() - start));
        }
        const long maxDelay = std::clamp<long>(3 * slowest.count(), 2000, 25000);

        long last = generationOf(qktest::readFile(path), c.sizes);
        int advanced = 0, midWrite = 0;
        for (int kill = 0; kill < kKills; ++kill) {
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) rewriteForever(c, path);
            std::this_thread::sleep_for(std::chrono::microseconds(
                std::uniform_int_distribution<long>(0, maxDelay)(random)));
            ::kill(child, SIGKILL);
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself with " << WEXITSTATUS(status);

            const long gen = generationOf(qktest::readFile(path), c.sizes);
            ASSERT_GE(gen, last) << "after kill " << kill << " the document is not whole or went back";
            advanced += gen > last;
            last = gen;
            const auto left = temporaries(dir.path(), c.tempPrefix);
            ASSERT_LE(left.size(), 1u) << "after kill " << kill;
            midWrite += !left.empty();
            for (const auto& t : left) fs::remove(t);  // what a killed writer leaves is the next start's to clear
            ASSERT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
        }
        // Both kinds of moment were hit: between rewrites and inside one.
        EXPECT_GT(advanced, 0);
        EXPECT_GT(midWrite, 0);
    }
}

}  // namespace
