#include "sound/sound_plugin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
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

int threadCount() {
#if defined(_WIN32)
    return qktest::processThreadCount();
#else
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)e;
        ++n;
    }
    return n;
#endif
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
    const int threads = threadCount();
    LoadedSound s("");
    EXPECT_FALSE(s.plugin->workerRunning());
    EXPECT_EQ(threadCount(), threads);
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
    const int threads = threadCount();
    LoadedSound s(dir.path(), 0);  // no engine rate: the board works at 44100
    ASSERT_TRUE(s.plugin->workerRunning());
    EXPECT_EQ(threadCount(), threads + 1);
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
    EXPECT_EQ(threadCount(), threads);  // the worker has ended

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

TEST(SoundPlugin, InfoRecord) {
    QuorvaleSound* p = new QuorvaleSound;
    vdj::PluginInfo info{};
    EXPECT_EQ(p->OnGetPluginInfo(&info), vdj::kOk);
    EXPECT_STREQ(info.name, "QuorvaleSound");
    EXPECT_STREQ(info.version, "1.0.0");
    p->Release();
}

}  // namespace
