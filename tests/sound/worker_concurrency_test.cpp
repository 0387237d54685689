// The worker starts and fades voices while the audio thread mixes them and the
// control thread sends OnStop: run under ThreadSanitizer, this shows the hand-over
// through the voice state needs no lock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "sound/sound_plugin.h"
#include "tests/sound/sound_files.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(SoundWorkerConcurrency, CommandsAndOnStopWhileTheAudioThreadMixes) {
    qktest::TempDir dir;
    const std::string qkDir = dir.file("QuorvaleKaraoke");
    const std::string sounds[3] = {dir.file("s0.wav"), dir.file("s1.wav"), dir.file("s2.wav")};
    for (int i = 0; i < 3; ++i) qktest::writeSineWav(sounds[i], 48000, 2, 0.05 + 0.1 * i, 300 + 200 * i, 0.3);

    qktest::FakeHost host;
    host.folder = dir.path();
    auto* plugin = new QuorvaleSound;
    plugin->host = &host;
    plugin->SampleRate = 48000;
    plugin->OnLoad();
    plugin->OnStart();

    std::atomic<bool> done{false};
    std::atomic<bool> heard{false};
    std::thread audio([&] {
        std::vector<float> block(2 * 128);
        while (!done) {
            std::fill(block.begin(), block.end(), 0.0f);
            plugin->OnProcessSamples(block.data(), 128);
            for (float v : block)
                if (v != 0.0f) heard = true;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    // Let the first cycle note the (empty) inbox, then feed it.
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    const std::string inbox = qktest::join(qkDir, "sound-inbox.jsonl");
    std::string text;
    for (int round = 0; round < 12; ++round) {
        for (int i = 0; i < 4; ++i) {
            text += R"({"op":"play","id":"k)";
            text += std::to_string(i % 3);
            text += R"(","path":")";
            text += qktest::jsonText(sounds[(round + i) % 3]);
            text += "\"}\n";
        }
        text += round % 3 == 0 ? "{\"op\":\"stop_all\"}\n" : "{\"op\":\"stop\",\"id\":\"k1\"}\n";
        qktest::writeFile(inbox, text);
        if (round % 4 == 3) plugin->OnStop();
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    done = true;
    audio.join();
    plugin->OnStop();
    plugin->Release();

    EXPECT_TRUE(heard.load());
    const std::string log = qktest::readFile(qktest::join(qkDir, "sound.log"));
    EXPECT_NE(log.find(" play k0 vol=1.00 voice="), std::string::npos) << log;
    EXPECT_NE(log.find(" stop all\n"), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 8), "Release\n");
}

}  // namespace
