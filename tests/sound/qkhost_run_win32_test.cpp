// qkhost.exe runs the sound board as the DJ host does on Windows: QuorvaleSound.dll
// loaded with LoadLibraryW, fed by the audio thread, driven by the inbox.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "platform/module_dir.h"
#include "tests/sound/bell_check.h"
#include "tests/sound/sound_files.h"
#include "tests/support/run_program_win32.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_for.h"

namespace {

using qktest::Finished;
using qktest::runProgram;

// qkhost.exe beside this program, the DLL in the build's plug-in folder.
class QkhostRunWindows : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(qktest::exists(qkhost) && qktest::exists(sound)) << qkhost << " " << sound; }

    const std::string bin = qk::platform::moduleDirectory(::GetModuleHandleW(nullptr));
    const std::string qkhost = qktest::join(bin, "qkhost.exe");
    const std::string sound = qktest::join(qktest::join(qktest::join(bin, ".."), "plugins"), "QuorvaleSound.dll");
    qktest::TempDir home;
};

TEST_F(QkhostRunWindows, APlayAppendedToTheInboxIsHeardInTheMasterOutput) {
    const std::string qkDir = home.file("QuorvaleKaraoke");
    // At the engine's rate and in stereo: Wine's Media Foundation converts neither.
    qktest::writeSineWav(home.file("bell.wav"), 48000, 2, 3.0, 1000, 0.5);

    // A timed run: Windows has no signal that one program sends another to stop it.
    Finished run;
    std::thread host([&] {
        run = runProgram("\"" + qkhost + "\" --home \"" + home.path() + "\" run --headless --seconds 5 --wav \"" +
                             home.file("out.wav") + "\" \"" + sound + "\"",
                         home.file("qkhost.txt"));
    });
    // The worker's first cycle writes the state file: from then on new lines count.
    const bool started = qktest::waitFor(
        [&] {
            return qktest::readFile(qktest::join(qkDir, "sound.log")).find("first OnProcessSamples") !=
                       std::string::npos &&
                   qktest::exists(qktest::join(qkDir, "sound-state.json"));
        },
        4000);
    std::string state;
    if (started) {
        qktest::writeFile(qktest::join(qkDir, "sound-inbox.jsonl"),
                          R"({"op":"play","id":"bell","path":")" + qktest::jsonText(home.file("bell.wav")) + "\"}\n");
        qktest::waitFor(
            [&] {
                return (state = qktest::readFile(qktest::join(qkDir, "sound-state.json"))).find("bell") !=
                       std::string::npos;
            },
            2000);
    }
    host.join();
    ASSERT_TRUE(started) << run.output << qktest::readFile(qktest::join(qkDir, "sound.log"));
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("master output written to " + home.file("out.wav")), std::string::npos) << run.output;
    EXPECT_EQ(state.rfind(R"({"active":[{"id":"bell","rem":)", 0), 0u) << state;

    qktest::expectBellInMasterOutput(qktest::readFloatWav(home.file("out.wav")), 40);
    qktest::expectBellPlayedThenReleased(qktest::readFile(qktest::join(qkDir, "sound.log")));
}

TEST_F(QkhostRunWindows, MusicStartsTheMasterOutputAndTheHelpTellsTheOptions) {
    qktest::writeSineWav(home.file("music.wav"), 48000, 2, 0.5, 220, 0.25);
    const Finished r = runProgram("\"" + qkhost + "\" --home \"" + home.path() +
                                      "\" run --headless --block 256 --seconds 1 --music \"" + home.file("music.wav") +
                                      "\" \"" + sound + "\"",
                                  home.file("run.txt"));
    EXPECT_EQ(r.exitCode, 0u) << r.output;
    EXPECT_NE(r.output.find("in blocks of 256 frames"), std::string::npos) << r.output;
    const auto wav = qktest::readFloatWav(home.file("qkhost-master.wav"));  // headless without --wav
    ASSERT_GE(wav.samples.size(), 2u * 46000);
    EXPECT_NEAR(qktest::windowRms(wav, 1200, 20000), 0.25 / std::sqrt(2.0), 0.01);
    EXPECT_EQ(qktest::windowRms(wav, 24000, 20000), 0.0);

    const Finished help = runProgram("\"" + qkhost + "\" --help", home.file("help.txt"));
    for (const char* option : {"run PLUGIN...", "--block N", "--seconds S", "--music FILE", "--wav FILE", "--headless"})
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
    const std::string missing = home.file("nonexistent.mp3");
    const Finished bad = runProgram("\"" + qkhost + "\" run --headless --music \"" + missing + "\" \"" + sound + "\"",
                                    home.file("bad.txt"));
    EXPECT_EQ(bad.exitCode, 1u);
    EXPECT_NE(bad.output.find("cannot play " + missing), std::string::npos) << bad.output;
}

}  // namespace
