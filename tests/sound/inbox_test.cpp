#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <vector>

#include "kit/log.h"
#include "sound/sound_board.h"
#include "tests/sound/sound_files.h"
#include "tests/support/temp_dir.h"

using qk::sound::Voices;
using qk::sound::VoiceState;

namespace {

// "s3" and the like (built by appending: g++ 12 warns wrongly about literal + string at -O3).
std::string numbered(const char* prefix, int i) {
    std::string s = prefix;
    s += std::to_string(i);
    return s;
}

// A sound board on a temporary data folder, cycled by hand.
class Inbox : public ::testing::Test {
protected:
    Inbox()
        : log_(qk::LogFile::companion(dir_.file("sound.log"))),
          board_(voices_, log_, dir_.file("sound-inbox.jsonl"), dir_.file("sound-state.json"), [] { return 48000; }) {
        qktest::writeSineWav(tone_, 48000, 2, 0.5, 440, 0.5);
    }

    void append(const std::string& bytes) { qktest::writeFile(inbox(), qktest::readFile(inbox()) + bytes); }
    std::string inbox() const { return dir_.file("sound-inbox.jsonl"); }
    std::string play(const std::string& id, const std::string& extra = "") const {
        return R"({"op":"play","id":")" + id + R"(","path":")" + qktest::jsonText(tone_) + "\"" + extra + "}\n";
    }
    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        std::istringstream in(qktest::readFile(dir_.file("sound.log")));
        for (std::string l; std::getline(in, l);) lines.push_back(l.size() > 13 ? l.substr(13) : l);
        return lines;
    }
    std::vector<std::string> playing() const {
        std::vector<std::string> ids;
        for (int i = 0; i < Voices::kCount; ++i)
            if (voices_[i].state.load() == VoiceState::Playing) ids.push_back(voices_[i].id);
        return ids;
    }
    VoiceState state(int i) const { return voices_[i].state.load(); }

    qktest::TempDir dir_;
    std::string tone_ = dir_.file("tone.wav");
    qk::LogFile log_;
    Voices voices_;
    qk::sound::SoundBoard board_;
};

TEST_F(Inbox, LinesThereAtLoadNeverRunLaterLinesDo) {
    append(play("old"));
    board_.runCycle();
    EXPECT_TRUE(playing().empty());
    EXPECT_EQ(board_.inboxOffset(), static_cast<std::int64_t>(qktest::readFile(inbox()).size()));
    append(play("new"));
    board_.runCycle();
    EXPECT_EQ(playing(), std::vector<std::string>{"new"});
}

TEST_F(Inbox, MissingInboxCountsAsEmptyUntilItAppears) {
    board_.runCycle();
    EXPECT_EQ(board_.inboxOffset(), 0);
    append(play("first"));
    board_.runCycle();
    EXPECT_EQ(playing(), std::vector<std::string>{"first"});
}

TEST_F(Inbox, LineEndingsBlanksAndAFinalLineWithoutLineFeed) {
    board_.runCycle();
    std::string crlf = play("crlf");
    crlf.insert(crlf.size() - 1, "\r  \t");
    std::string last = play("last");
    last.pop_back();  // no line feed after the final line
    append("\n  \n" + crlf + last);
    board_.runCycle();
    EXPECT_EQ(playing(), (std::vector<std::string>{"crlf", "last"}));
}

TEST_F(Inbox, InvalidNonObjectAndHalfWrittenLinesAreSkipped) {
    board_.runCycle();
    const std::string full = play("half");
    append(full.substr(0, 20));  // the writer is mid-line when the cycle reads
    board_.runCycle();
    append(full.substr(20));
    board_.runCycle();
    EXPECT_TRUE(playing().empty());
    for (const char* bad : {"[1,2]\n", "\"play\"\n", "42\n", "{\"op\":\"play\"} {}\n", "{\"op\":\"play\", // x\n}\n",
                            "not json\n", "{\"op\":\"play\",\"path\":\"\"}\n", "{\"op\":\"dance\",\"id\":\"x\"}\n"})
        append(bad);
    append(play("ok"));
    board_.runCycle();
    EXPECT_EQ(playing(), std::vector<std::string>{"ok"});
    for (const auto& l : logLines()) EXPECT_EQ(l.rfind("decoded", 0) == 0 || l.rfind("play ok", 0) == 0, true) << l;
}

TEST_F(Inbox, TruncationResetsTheOffsetAndReadsNothing) {
    append(play("a") + play("b"));
    board_.runCycle();
    qktest::writeFile(inbox(), "{}\n");
    board_.runCycle();
    EXPECT_EQ(board_.inboxOffset(), 3);
    EXPECT_TRUE(playing().empty());
    append(play("after"));
    board_.runCycle();
    EXPECT_EQ(playing(), std::vector<std::string>{"after"});
}

TEST_F(Inbox, ACycleReadsAtMostItsCapAndSkipsTheRest) {
    board_.runCycle();
    // A play, then more than a cycle may read, then a play past the cap.
    const std::string filler(static_cast<std::size_t>(qk::sound::kMaxInboxBytesPerCycle), '\n');
    append(play("first") + filler + play("past"));
    board_.runCycle();
    EXPECT_EQ(playing(), std::vector<std::string>{"first"});
    EXPECT_EQ(board_.inboxOffset(), static_cast<std::int64_t>(qktest::readFile(inbox()).size()));
    const auto lines = logLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "inbox: " + std::to_string(play("first").size() + play("past").size()) +
                            " bytes past the 1048576 read per cycle skipped"),
              lines.end());
    append(play("later"));
    board_.runCycle();
    EXPECT_EQ(playing(), (std::vector<std::string>{"first", "later"}));
}

TEST_F(Inbox, PlayStopAndStopAll) {
    board_.runCycle();
    append(play("a") + play("b") + play("c"));
    board_.runCycle();
    EXPECT_EQ(playing(), (std::vector<std::string>{"a", "b", "c"}));
    append(R"({"op":"stop","id":"b"})"
           "\n");
    board_.runCycle();
    EXPECT_EQ(state(1), VoiceState::Fading);
    EXPECT_EQ(playing(), (std::vector<std::string>{"a", "c"}));
    append(R"({"op":"stop","id":"b"})"
           "\n"
           R"({"op":"stop","id":"B"})"
           "\n"
           R"({"op":"stop_all"})"
           "\n");
    board_.runCycle();
    EXPECT_TRUE(playing().empty());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(state(i), VoiceState::Fading);
    const auto lines = logLines();
    const std::vector<std::string> tail(lines.end() - 4, lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"stop b", "stop b", "stop B", "stop all"}));
}

TEST_F(Inbox, SameIdFadesTheOldVoiceWhileTheNewOneStarts) {
    board_.runCycle();
    append(play("bell") + play("bell"));
    board_.runCycle();
    EXPECT_EQ(state(0), VoiceState::Fading);
    EXPECT_EQ(state(1), VoiceState::Playing);
    EXPECT_EQ(voices_[1].id, "bell");
    const auto lines = logLines();
    EXPECT_EQ(lines[lines.size() - 2], "play bell vol=1.00 voice=0");
    EXPECT_EQ(lines.back(), "play bell vol=1.00 voice=1");
}

TEST_F(Inbox, NinthSoundIsDroppedEvenWhileOneVoiceFades) {
    board_.runCycle();
    std::string lines;
    for (int i = 0; i < 8; ++i) lines += play(numbered("s", i));
    append(lines + play("s0"));
    board_.runCycle();
    EXPECT_EQ(state(0), VoiceState::Fading);  // told to fade, still holds its voice
    EXPECT_EQ(playing().size(), 7u);
    EXPECT_EQ(logLines().back(), "play s0 DROPPED - all 8 voices busy");
}

TEST_F(Inbox, VolumeRules) {
    board_.runCycle();
    const std::vector<std::pair<std::string, float>> cases = {{",\"vol\":0", 1.0f},
                                                              {",\"vol\":-0.5", 1.0f},
                                                              {",\"vol\":2.5", 1.0f},
                                                              {",\"vol\":\"2\"", 1.0f},
                                                              {",\"vol\":2", 2.0f},
                                                              {",\"vol\":0.25", 0.25f},
                                                              {"", 1.0f},
                                                              {",\"vol\":null", 1.0f}};
    for (size_t i = 0; i < cases.size(); ++i) {
        append(play(numbered("v", static_cast<int>(i)), cases[i].first));
        board_.runCycle();
        EXPECT_EQ(voices_[static_cast<int>(i)].volume, cases[i].second) << cases[i].first;
    }
    EXPECT_EQ(logLines()[1], "play v0 vol=1.00 voice=0");  // after the "decoded" line
}

TEST_F(Inbox, PlayWithoutIdAndUndecodableFile) {
    board_.runCycle();
    append(R"({"op":"play","path":")" + qktest::jsonText(tone_) + "\"}\n" + R"({"op":"play","path":")" +
           qktest::jsonText(tone_) + "\"}\n");
    append(R"({"op":"play","id":"gone","path":")" + qktest::jsonText(dir_.file("gone.wav")) + "\"}\n");
    board_.runCycle();
    EXPECT_EQ(state(0), VoiceState::Fading);  // id-less sounds replace each other
    EXPECT_EQ(state(1), VoiceState::Playing);
    EXPECT_EQ(state(2), VoiceState::Idle);
    EXPECT_EQ(logLines().back(), "decode FAIL (open): gone.wav");
}

TEST(SoundPath, EitherSlashNamesTheSameSound) {
    using qk::sound::normaliseSoundPath;
    EXPECT_EQ(normaliseSoundPath("C:/Sounds/air horn.mp3", '\\', '/'), "C:\\Sounds\\air horn.mp3");
    EXPECT_EQ(normaliseSoundPath("C:\\Sounds/air horn.mp3", '\\', '/'), "C:\\Sounds\\air horn.mp3");
    EXPECT_EQ(normaliseSoundPath("/home/kj/a\\b.mp3", '/', '\0'), "/home/kj/a\\b.mp3");  // a name character on POSIX
}

}  // namespace
