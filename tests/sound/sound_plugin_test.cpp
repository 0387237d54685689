#include "sound/sound_plugin.h"

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <set>
#include <thread>
#include <vector>

#include "sound/sound_cache.h"
#include "tests/sound/sound_files.h"
#include "tests/support/fake_host.h"
#if defined(_WIN32)
#include "tests/support/win32_threads.h"
#endif
#include "tests/support/temp_dir.h"
#include "tests/support/wait_for.h"

using qk::sound::VoiceState;

namespace {

// The identifiers of this process's threads. A platform decoder's own threads
// (Media Foundation's work queues) come and go on their own, so the tests look
// for the worker's identifier rather than count.
std::set<unsigned long> threadIds() {
#if defined(_WIN32)
    return qktest::processThreadIds();
#else
    std::set<unsigned long> ids;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/task"))
        ids.insert(std::stoul(e.path().filename().string()));
    return ids;
#endif
}

// The threads in `now` that were not in `before`.
std::vector<unsigned long> newThreads(const std::set<unsigned long>& before, const std::set<unsigned long>& now) {
    std::vector<unsigned long> added;
    std::set_difference(now.begin(), now.end(), before.begin(), before.end(), std::back_inserter(added));
    return added;
}

struct LoadedSound {
    explicit LoadedSound(const std::string& folder, int rate = 48000) {
        host.folder = folder;
        plugin->host = &host;
        plugin->SampleRate = rate;
        plugin->OnLoad();
    }
    qktest::FakeHost host;
    QuorvaleSound* plugin = new QuorvaleSound;
};

TEST(SoundPlugin, WithoutAHostFolderItStaysSilentAndWritesNothing) {
    qktest::TempDir dir;
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());  // a relative path would land here
    const auto threads = threadIds();
    LoadedSound s("");
    EXPECT_FALSE(s.plugin->workerRunning());
    EXPECT_TRUE(newThreads(threads, threadIds()).empty());
    std::vector<float> block(1024, 0.5f);
    for (int i = 0; i < 4; ++i) s.plugin->OnProcessSamples(block.data(), 512);
    for (float v : block) ASSERT_EQ(v, 0.5f);
    s.plugin->OnStart();
    s.plugin->OnStop();
    s.plugin->Release();
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(SoundPlugin, PlaysFadesOnStopAndReleaseSilencesAndJoinsTheWorker) {
    qktest::TempDir dir;
    const std::string qkDir = dir.file("QuorvaleKaraoke");
    {
        // A platform decoder may keep threads of its own once it has decoded
        // (Media Foundation's work queues): they are there before the count.
        qktest::TempDir warm;
        qktest::writeSineWav(warm.file("warm.wav"), 44100, 2, 0.05, 440, 0.5);
        qk::sound::SoundCache(qk::LogFile()).loadSound(warm.file("warm.wav"), 44100);
    }
    const auto threads = threadIds();
    LoadedSound s(dir.path(), 0);  // no engine rate: the board works at 44100
    ASSERT_TRUE(s.plugin->workerRunning());
    const auto worker = newThreads(threads, threadIds());
    ASSERT_EQ(worker.size(), 1u);
    ASSERT_TRUE(qktest::waitFor([&] { return qktest::exists(qktest::join(qkDir, "sound-state.json")); }));  // first cycle ran

    qktest::writeSineWav(dir.file("long.wav"), 44100, 2, 5.0, 440, 0.5);
    const std::string play = R"({"op":"play","id":"long","path":")" + qktest::jsonText(dir.file("long.wav")) + "\"}\n";
    qktest::writeFile(qktest::join(qkDir, "sound-inbox.jsonl"), play);
    ASSERT_TRUE(qktest::waitFor([&] { return s.plugin->voices()[0].state.load() == VoiceState::Playing; }));

    std::vector<float> block(1024);
    s.plugin->OnProcessSamples(block.data(), 512);
    s.plugin->OnStop();
    EXPECT_EQ(s.plugin->voices()[0].state.load(), VoiceState::Fading);
    for (int i = 0; i < 4; ++i) s.plugin->OnProcessSamples(block.data(), 512);  // 40 ms at 44100: 1764 frames
    EXPECT_EQ(s.plugin->voices()[0].state.load(), VoiceState::Idle);

    // After OnStop commands still start voices.
    qktest::writeFile(qktest::join(qkDir, "sound-inbox.jsonl"), play + play);
    ASSERT_TRUE(qktest::waitFor([&] { return s.plugin->voices()[0].state.load() == VoiceState::Playing; }));
    s.plugin->OnProcessSamples(block.data(), 512);

    const auto before = std::chrono::steady_clock::now();
    s.plugin->Release();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1000));
    EXPECT_EQ(threadIds().count(worker[0]), 0u);  // the worker has ended

    const std::string log = qktest::readFile(qktest::join(qkDir, "sound.log"));
    for (const std::string& line :
         {" OnLoad v1.0.0 - qkDir=" + qkDir + " engineSR=0\n", " polling " + qktest::join(qkDir, "sound-inbox.jsonl") + "\n",
          std::string(" decoded long.wav - 5.0s @44100Hz (cache: 1 sounds)\n"),
          std::string(" play long vol=1.00 voice=0\n"), std::string(" first OnProcessSamples nb=512 sr=0\n"),
          std::string(" OnStop (inactive - voices fading)\n")})
        EXPECT_NE(log.find(line), std::string::npos) << line << log;
    EXPECT_EQ(log.find(" decoded long.wav", log.find(" decoded long.wav") + 1), std::string::npos);  // cached
    EXPECT_EQ(log.substr(log.size() - 8), "Release\n");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 8) << log;
}

#if !defined(_WIN32)
// Pipes, descriptors, sockets and FIFOs as the decoder would meet them on a POSIX
// host; the Windows path forms are covered by the SoundPath table.

// A port on 127.0.0.1 that nothing listens on right now.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// What a play command names, and how a decoder caught waiting on it is let go
// again (so that a failing run ends instead of hanging the test).
struct RefusedPath {
    std::string path;
    std::function<void()> release = [] {};
    std::function<void()> cleanup = [] {};
};

TEST(SoundPlugin, PathsThatAreNotLocalFilesAreRefusedAtOnceAndReleaseStillReturns) {
    const auto cwd = std::filesystem::current_path();
    const std::vector<std::pair<const char*, std::function<RefusedPath(qktest::TempDir&)>>> cases = {
        {"the host's standard input",
         [](qktest::TempDir&) {
             int p[2];
             EXPECT_EQ(::pipe(p), 0);
             const int saved = ::dup(0);
             ::dup2(p[0], 0);
             ::close(p[0]);
             return RefusedPath{"pipe:0", [w = p[1]] { ::close(w); },
                                [saved] {
                                    ::dup2(saved, 0);
                                    ::close(saved);
                                }};
         }},
        {"a descriptor of the host",
         [](qktest::TempDir&) {
             int p[2];
             EXPECT_EQ(::pipe(p), 0);
             return RefusedPath{"fd:" + std::to_string(p[0]), [w = p[1]] { ::close(w); }, [r = p[0]] { ::close(r); }};
         }},
        {"a listening socket",
         [](qktest::TempDir&) {
             const int port = freePort();
             return RefusedPath{"tcp://127.0.0.1:" + std::to_string(port) + "?listen=1", [port] {
                                    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
                                    sockaddr_in a{};
                                    a.sin_family = AF_INET;
                                    a.sin_port = htons(static_cast<std::uint16_t>(port));
                                    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                                    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
                                    ::close(fd);
                                }};
         }},
        {"a FIFO named like a sound",
         [](qktest::TempDir& dir) {
             const std::string fifo = dir.file("x.wav");
             EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
             return RefusedPath{fifo, [fifo] {
                                    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
                                    if (fd >= 0) ::close(fd);
                                }};
         }},
        {"a relative path",
         [cwd](qktest::TempDir& dir) {
             qktest::writeSineWav(dir.file("near.wav"), 44100, 2, 0.2, 440, 0.5);
             std::filesystem::current_path(dir.path());  // the file is right there, relative to the host
             return RefusedPath{"near.wav", [] {}, [cwd] { std::filesystem::current_path(cwd); }};
         }},
        {"a folder",
         [](qktest::TempDir& dir) {
             std::filesystem::create_directory(dir.file("folder.wav"));
             return RefusedPath{dir.file("folder.wav")};
         }},
    };
    for (const auto& [what, make] : cases) {
        SCOPED_TRACE(what);
        qktest::TempDir dir;
        const std::string qkDir = dir.file("QuorvaleKaraoke");
        RefusedPath refused = make(dir);
        auto* s = new LoadedSound(dir.path(), 44100);
        ASSERT_TRUE(qktest::waitFor([&] { return qktest::exists(qkDir + "/sound-state.json"); }));
        qktest::writeFile(qkDir + "/sound-inbox.jsonl", R"({"op":"play","id":"p","path":")" + refused.path + "\"}\n");
        const std::string line = " decode FAIL (open): " + qk::sound::soundDisplayName(refused.path) + "\n";
        EXPECT_TRUE(qktest::waitFor(
            [&] { return qktest::readFile(qkDir + "/sound.log").find(line) != std::string::npos; }, 2000))
            << refused.path;
        EXPECT_EQ(s->plugin->voices()[0].state.load(), VoiceState::Idle);

        std::atomic<bool> released{false};
        std::thread release([&] {
            s->plugin->Release();
            released = true;
        });
        EXPECT_TRUE(qktest::waitFor([&] { return released.load(); }, 2000)) << refused.path;
        if (!released) refused.release();
        release.join();
        delete s;
        refused.cleanup();
    }
}
#endif

TEST(SoundPlugin, InfoRecord) {
    QuorvaleSound* p = new QuorvaleSound;
    vdj::PluginInfo info{};
    EXPECT_EQ(p->OnGetPluginInfo(&info), vdj::kOk);
    EXPECT_STREQ(info.name, "QuorvaleSound");
    EXPECT_STREQ(info.version, "1.0.0");
    p->Release();
}

}  // namespace
