#include "sound/state_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "kit/log.h"
#include "sound/sound_board.h"
#include "tests/sound/sound_files.h"
#include "tests/support/temp_dir.h"

using qk::sound::Voices;
using qk::sound::VoiceState;

namespace {

void setVoice(Voices& v, int i, VoiceState state, const std::string& id, std::int32_t frames, std::int32_t pos) {
    static const float sample[2] = {0, 0};
    v[i].samples = sample;
    v[i].id = id;
    v[i].frameCount = frames;
    v[i].position = pos;
    v[i].state = state;
}

TEST(StateFile, ExactBytesForAKnownSetOfVoices) {
    Voices v;
    setVoice(v, 0, VoiceState::Playing, "horn", 4'800'000, 0);  // 100 s at 48 kHz
    setVoice(v, 1, VoiceState::Fading, "fading", 48000, 0);     // never listed
    setVoice(v, 2, VoiceState::Playing, "", 48000, 0);          // no id: never listed
    setVoice(v, 4, VoiceState::Playing, "applause \xC3\xBC", 4800, 2400);
    setVoice(v, 5, VoiceState::Playing, "done", 100, 150);  // past its end: 0
    setVoice(v, 7, VoiceState::Playing, "q\"uote", 48001, 0);
    const auto active = qk::sound::listActiveSounds(v, 48000);
    EXPECT_EQ(qk::sound::stateFileText(active, 1'700'000'000'999),
              "{\"active\":[{\"id\":\"horn\",\"rem\":100000},{\"id\":\"applause \xC3\xBC\",\"rem\":50},"
              "{\"id\":\"done\",\"rem\":0},{\"id\":\"q\\\"uote\",\"rem\":1000}],\"at\":1700000000000,\"v\":1}");
    EXPECT_EQ(qk::sound::stateSignature(active), "4:horn,applause \xC3\xBC,done,q\"uote,");
    EXPECT_EQ(qk::sound::stateFileText({}, 1999), "{\"active\":[],\"at\":1000,\"v\":1}");
    EXPECT_EQ(qk::sound::stateSignature({}), "0:");
}

TEST(StateFile, WrittenAfterPlaysAndEveryBusyCycleThenOnceWhenIdle) {
    qktest::TempDir dir;
    const auto log = qk::LogFile::companion(dir.file("sound.log"));
    Voices voices;
    qk::sound::SoundBoard board(voices, log, dir.file("sound-inbox.jsonl"), dir.file("sound-state.json"),
                                [] { return 48000; });
    const std::string state = dir.file("sound-state.json");
    qktest::writeSineWav(dir.file("t.wav"), 48000, 2, 0.1, 440, 0.5);
    // Removing the file before each step shows whether that step wrote it.
    auto writtenBy = [&](auto step) {
        std::filesystem::remove(state);
        step();
        return qktest::exists(state);
    };

    EXPECT_TRUE(writtenBy([&] { board.runCycle(); }));  // the first cycle always writes
    EXPECT_NE(qktest::readFile(state).find("{\"active\":[],\"at\":"), std::string::npos);
    EXPECT_FALSE(writtenBy([&] { board.runCycle(); }));

    EXPECT_TRUE(writtenBy([&] {
        board.handleCommand(qk::Json{{"op", "play"}, {"id", "t"}, {"path", dir.file("t.wav")}});
    }));
    EXPECT_EQ(qktest::readFile(state).rfind("{\"active\":[{\"id\":\"t\",\"rem\":100}],\"at\":", 0), 0u);
    EXPECT_TRUE(writtenBy([&] { board.runCycle(); }));

    std::vector<float> block(2 * 512);
    for (int i = 0; i < 20; ++i) voices.mix(block.data(), 512, 48000);  // the sound ends
    EXPECT_TRUE(writtenBy([&] { board.runCycle(); }));
    EXPECT_NE(qktest::readFile(state).find("{\"active\":[],"), std::string::npos);
    EXPECT_FALSE(writtenBy([&] { board.runCycle(); }));
    // A failed decode changes no voice and writes nothing.
    EXPECT_FALSE(writtenBy([&] { board.handleCommand(qk::Json{{"op", "play"}, {"path", dir.file("none.wav")}}); }));
}

TEST(StateFile, ReadersNeverSeeAPartialFileAndNoTemporaryFileStays) {
    qktest::TempDir dir;
    const std::string path = dir.file("sound-state.json");
    const std::string small = "{\"active\":[],\"at\":1000,\"v\":1}";
    const std::string large = "{\"active\":[" + std::string(20000, ' ') + "],\"at\":1000,\"v\":1}";
    ASSERT_TRUE(qk::sound::replaceFileWhole(path, small));
    std::atomic<bool> done{false};
    std::atomic<int> torn{0}, refused{0};
    std::thread reader([&] {
        while (!done) {
            const std::string seen = qktest::readFile(path);
            if (seen.empty())
                ++refused;  // not opened: Windows refuses an open while the name is being replaced
            else if (seen != small && seen != large)
                ++torn;
#if defined(_WIN32)
            // A file open for reading cannot be replaced there: a reader that never
            // pauses would hold the replacement off for good. The page polls.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
#endif
        }
    });
    for (int i = 0; i < 400; ++i) ASSERT_TRUE(qk::sound::replaceFileWhole(path, i % 2 ? small : large));
    done = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
#if !defined(_WIN32)
    EXPECT_EQ(refused.load(), 0);  // a rename never leaves the name missing
#endif
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
    EXPECT_FALSE(qk::sound::replaceFileWhole(dir.file("missing/sound-state.json"), small));
}

}  // namespace
