// The decks in a running host: scripts load and start songs on a control thread
// while the audio thread mixes them into the master output, which the DSP
// plug-ins then process; and the same through "qkhost run --script".
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

#include "host/audio_engine.h"
#include "host/stand_in_host.h"
#include "tests/host/tone.h"
#include "tests/sound/sound_files.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_for.h"

namespace {

constexpr int kRate = 48000;
constexpr std::size_t kWindow = 2400;  // 50 ms: 440 Hz and 1000 Hz fit it whole

class Capture final : public qkhost::AudioSink {
public:
    bool write(const float* samples, int frames) override {
        samples_.insert(samples_.end(), samples, samples + 2 * frames);
        return true;
    }
    bool pacesInRealTime() const override { return false; }
    std::vector<float> samples_;  // read after the audio thread ended
};

// A DSP plug-in that remembers the loudest sample it was handed.
class PeakProbe final : public vdj::DspPlugin {
public:
    vdj::Result VDJ_API OnProcessSamples(float* buffer, int frames) override {
        for (int i = 0; i < 2 * frames; ++i) peak_ = std::max(peak_.load(), std::abs(buffer[i]));
        return vdj::kOk;
    }
    void VDJ_API Destroy() override {}
    std::atomic<float> peak_{0};
};

struct Heard {
    double a440, a1000;
};
std::vector<Heard> windows(const std::vector<float>& stereo) {
    std::vector<Heard> out;
    for (std::size_t f = 0; f + kWindow <= stereo.size() / 2; f += kWindow)
        out.push_back({qktest::toneAmplitude(stereo, f, kWindow, kRate, 440),
                       qktest::toneAmplitude(stereo, f, kWindow, kRate, 1000)});
    return out;
}

TEST(DeckPlayback, ScriptsDriveTwoDecksIntoTheMasterOutputBeforeThePlugins) {
    qktest::TempDir dir;
    const std::string first = dir.file("Erste Sängerin - Lied 1.wav");
    const std::string second = dir.file("second song.wav");
    qktest::writeSineWav(first, 44100, 1, 0.8, 440, 0.5);  // resampled on load
    qktest::writeSineWav(second, kRate, 2, 4.0, 1000, 0.8);

    qkhost::StandInHost host(dir.path(), "", kRate);
    PeakProbe probe;
    Capture capture;
    qkhost::AudioEngine engine({kRate, 512}, {&probe}, &host.decks(), {&capture});
    engine.start();
    auto number = [&](const char* query) {
        double v = -1;
        EXPECT_EQ(host.GetInfo(query, &v), vdj::kOk) << query;
        return v;
    };

    EXPECT_EQ(host.SendCommand(("deck 1 load '" + first + "' & deck 1 play").c_str()), vdj::kOk);
    EXPECT_EQ(number("deck 1 play"), 1);
    ASSERT_TRUE(qktest::waitFor([&] { return number("deck 1 get_position") > 0.25; }, 5000));
    EXPECT_EQ(host.SendCommand("deck 1 pause"), vdj::kOk);
    const double paused = number("deck 1 get_position");
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(number("deck 1 get_position"), paused);
    EXPECT_EQ(number("deck 1 play"), 0);

    EXPECT_EQ(
        host.SendCommand(("deck 2 volume 25% & deck 2 load '" + second + "' & deck 2 play & deck 1 play").c_str()),
        vdj::kOk);
    // The short song ends on its own; the long one plays on.
    ASSERT_TRUE(qktest::waitFor([&] { return number("deck 1 play") == 0; }, 5000));
    EXPECT_EQ(number("deck 1 get_position"), 1);
    EXPECT_EQ(number("deck 2 play"), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    engine.stop();

    char title[64];
    EXPECT_EQ(host.GetStringInfo("deck 1 get_title", title, sizeof title), vdj::kOk);
    EXPECT_STREQ(title, "Lied 1");
    char artist[9];  // room for 8 bytes, which would end inside the "ä" of "Erste Sängerin"
    EXPECT_EQ(host.GetStringInfo("deck 1 get_artist", artist, sizeof artist), vdj::kOk);
    EXPECT_STREQ(artist, "Erste S");
    EXPECT_GT(probe.peak_.load(), 0.4f);  // the plug-in was handed the decks' sound

    // Silence, deck 1 alone, a pause, both at once, then deck 2 alone at a quarter.
    const auto heard = windows(capture.samples_);
    int alone440 = 0, both = 0, alone1000 = 0;
    for (const Heard& h : heard) {
        // Windows the tones fill wholly; those they fill in part lie in between.
        const bool full440 = std::abs(h.a440 - 0.5) < 0.02, full1000 = std::abs(h.a1000 - 0.2) < 0.01;
        EXPECT_LT(h.a440, 0.52);
        EXPECT_LT(h.a1000, 0.21);
        alone440 += full440 && h.a1000 < 0.01;
        both += full440 && full1000;
        alone1000 += full1000 && h.a440 < 0.01;
    }
    EXPECT_GE(alone440, 3);
    EXPECT_GE(both, 3);
    EXPECT_GE(alone1000, 2);
    // The first song, paused once, still played its length and no more: a window
    // the tone fills for a part shows that part of its amplitude.
    double played = 0;
    for (const Heard& h : heard) played += h.a440 / 0.5 * kWindow / kRate;
    EXPECT_NEAR(played, 0.8, 0.03);
}

TEST(DeckPlayback, QkhostRunSendsTimedScripts) {
    qktest::TempDir dir;
    const std::string song = dir.file("a b ü.wav");
    qktest::writeSineWav(song, kRate, 2, 0.5, 440, 0.5);
    const std::string qkhost = std::string(QK_BIN_DIR) + "/qkhost";
    const auto r = qktest::runCommand(qkhost + " --home '" + dir.path() + "' --host-log '" + dir.file("host.log") +
                                      "' run --headless --seconds 1.5 --script \"0.5@deck 2 load '" + song +
                                      "' & deck 2 play\" --script '0.2@deck 2 volume 50%' --script '0.3@deck 5 play' " +
                                      std::string(QK_PLUGIN_DIR) + "/QuorvaleSound.so 2>&1");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("the script \"deck 5 play\" at 0.3 s failed (0x80004005)"), std::string::npos) << r.output;
    const std::string log = qktest::readFile(dir.file("host.log"));
    EXPECT_NE(log.find("send deck 2 volume 50%\nsend deck 5 play\nsend deck 2 load '" + song + "' & deck 2 play\n"),
              std::string::npos)
        << log;

    const auto wav = qktest::readFloatWav(dir.file("qkhost-master.wav"));
    ASSERT_EQ(wav.rate, kRate);
    // The scripts run on the host's clock and the master output is made block by
    // block, so on a busy machine the song may start a little off 0.5 s: the
    // test looks for its onset instead of a fixed time.
    const auto heard = windows(wav.samples);
    ASSERT_GE(heard.size(), 25u);
    std::size_t onset = 0;
    while (onset < heard.size() && heard[onset].a440 < 0.01) ++onset;
    ASSERT_LT(onset, heard.size()) << "the song was never heard";
    const double onsetAt = static_cast<double>(onset * kWindow) / kRate;
    EXPECT_GT(onsetAt, 0.2) << "silence comes first";
    double played = 0;
    for (std::size_t i = 0; i < heard.size(); ++i) {
        const double after = static_cast<double>(i * kWindow) / kRate - onsetAt;
        if (after > 0.1 && after < 0.35) {
            EXPECT_NEAR(heard[i].a440, 0.25, 0.01) << after;  // at half volume
        }
        if (after > 0.6) {
            EXPECT_LT(heard[i].a440, 0.01) << after;  // and over
        }
        played += heard[i].a440 / 0.25 * kWindow / kRate;
    }
    EXPECT_NEAR(played, 0.5, 0.05) << "the whole song, once";

    const auto help = qktest::runCommand(qkhost + " --help");
    EXPECT_NE(help.output.find("--script T@SCRIPT"), std::string::npos);
    for (const char* bad : {"deck 1 play", "x@deck 1 play", "-1@play", "2@"}) {
        const auto b = qktest::runCommand(qkhost + " run --headless --seconds 0.1 --script '" + std::string(bad) +
                                          "' " + QK_PLUGIN_DIR + "/QuorvaleSound.so 2>&1");
        EXPECT_EQ(b.exitCode, 2) << bad;
        EXPECT_NE(b.output.find("--script wants SECONDS@SCRIPT"), std::string::npos) << bad;
    }
}

}  // namespace
