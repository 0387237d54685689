// qkhost runs the sound board as the DJ host would: loaded through
// DllGetClassObject, fed by the audio thread in real time, driven by the inbox.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "tests/sound/bell_check.h"
#include "tests/sound/sound_files.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_for.h"

namespace {

const std::string kQkhost = std::string(QK_BIN_DIR) + "/qkhost";
const std::string kSound = std::string(QK_PLUGIN_DIR) + "/QuorvaleSound.so";

TEST(QkhostRun, APlayAppendedToTheInboxIsHeardInTheMasterOutput) {
    qktest::TempDir home;
    const std::string qkDir = home.file("QuorvaleKaraoke");
    qktest::writeSineWav(home.file("bell.wav"), 44100, 1, 3.0, 1000, 0.5);

    // No time limit: the host runs until the test sends SIGTERM (or `timeout` does,
    // should the test go wrong).
    qktest::CommandResult run;
    const std::string pidFile = home.file("qkhost.pid");
    std::thread host([&] {
        run =
            qktest::runCommand("timeout 60 " + kQkhost + " --home '" + home.path() + "' run --headless --wav '" +
                               home.file("out.wav") + "' '" + kSound + "' 2>&1 & echo $! > '" + pidFile + "'; wait $!");
    });
    // The worker's first cycle writes the state file: from then on new lines count.
    const bool started = qktest::waitFor(
        [&] {
            return qktest::readFile(qktest::join(qkDir, "sound.log")).find("first OnProcessSamples") != std::string::npos &&
                   qktest::exists(qktest::join(qkDir, "sound-state.json"));
        },
        5000);
    std::string state;
    if (started) {
        qktest::writeFile(qktest::join(qkDir, "sound-inbox.jsonl"),
                          R"({"op":"play","id":"bell","path":")" + qktest::jsonText(home.file("bell.wav")) + "\"}\n");
        qktest::waitFor(
            [&] { return (state = qktest::readFile(qktest::join(qkDir, "sound-state.json"))).find("bell") != std::string::npos; },
            2000);
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // the 3-second bell still plays
    }
    qktest::waitFor([&] { return !qktest::readFile(pidFile).empty(); }, 5000);
    if (const std::string pid = qktest::readFile(pidFile); !pid.empty()) ::kill(std::stoi(pid), SIGTERM);
    host.join();
    ASSERT_TRUE(started) << run.output;
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("running until SIGINT or SIGTERM"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("master output written to " + home.file("out.wav")), std::string::npos) << run.output;
    EXPECT_EQ(state.rfind(R"({"active":[{"id":"bell","rem":)", 0), 0u) << state;

    qktest::expectBellInMasterOutput(qktest::readFloatWav(home.file("out.wav")));
    // The run ended while the bell still played: Release came last.
    qktest::expectBellPlayedThenReleased(qktest::readFile(qktest::join(qkDir, "sound.log")));
}

TEST(QkhostRun, MusicStartsTheMasterOutputAndTheHelpTellsTheOptions) {
    qktest::TempDir home;
    qktest::writeSineWav(home.file("music.wav"), 48000, 2, 0.5, 220, 0.25);
    const auto r =
        qktest::runCommand(kQkhost + " --home '" + home.path() + "' run --headless --block 256 --seconds 1 " +
                           "--music '" + home.file("music.wav") + "' '" + kSound + "' 2>&1");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("in blocks of 256 frames"), std::string::npos) << r.output;
    const auto wav = qktest::readFloatWav(home.file("qkhost-master.wav"));  // headless without --wav
    ASSERT_GE(wav.samples.size(), 2u * 46000);
    EXPECT_NEAR(windowRms(wav, 1200, 20000), 0.25 / std::sqrt(2.0), 0.01);
    EXPECT_EQ(windowRms(wav, 24000, 20000), 0.0);

    const auto help = qktest::runCommand(kQkhost + " --help");
    for (const char* option : {"run PLUGIN...", "--block N", "--seconds S", "--music FILE", "--wav FILE", "--headless"})
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
    const auto bad = qktest::runCommand(kQkhost + " run --headless --music /nonexistent.mp3 '" + kSound + "' 2>&1");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.output.find("cannot play /nonexistent.mp3"), std::string::npos) << bad.output;
}

}  // namespace
