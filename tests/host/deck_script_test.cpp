// The script subset the stand-in host understands, on real decks loading real
// files: what each text means, what the host answers, and what it refuses.
#include "host/deck_script.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/sound/sound_files.h"
#include "tests/support/temp_dir.h"

namespace {

using qkhost::kScriptFailed;

struct ParseCase {
    const char* script;
    bool ok;
    std::vector<qkhost::ScriptCommand> commands;
};

TEST(DeckScript, ParsesDecksVerbsQuotedPathsAndChains) {
    const ParseCase cases[] = {
        {"deck 1 play", true, {{1, "play", ""}}},
        {"play", true, {{1, "play", ""}}},  // the active deck
        {"  DECK 2   Play_Pause ", true, {{2, "play_pause", ""}}},
        {"deck 2 load '/m/Sänger - Lied & mehr.mp3'", true, {{2, "load", "/m/Sänger - Lied & mehr.mp3"}}},
        {"deck 1 load \"/m/it's.ogg\" & deck 1 play", true, {{1, "load", "/m/it's.ogg"}, {1, "play", ""}}},
        {"deck 1 load 'Don't Stop Me Now.mp3'", true, {{1, "load", "Don't Stop Me Now.mp3"}}},
        {"deck 1 load 'Rock 'n' Roll.mp3' & deck 1 play", true, {{1, "load", "Rock 'n' Roll.mp3"}, {1, "play", ""}}},
        {"deck 1 volume 70%&deck 2 volume 30%", true, {{1, "volume", "70%"}, {2, "volume", "30%"}}},
        {"deck 3 play", true, {{0, "play", ""}}},
        {"deck 0 play", true, {{0, "play", ""}}},
        {"deck one play", true, {{0, "play", ""}}},
        {"deck 1x play", true, {{0, "play", ""}}},
        {"deck 1 load '/m/open.mp3", false, {}},
        {"", false, {}},
        {"deck 1 play & ", false, {}},
        {"deck 1", false, {}},
    };
    for (const auto& c : cases) {
        std::vector<qkhost::ScriptCommand> got;
        EXPECT_EQ(qkhost::parseScript(c.script, &got), c.ok) << c.script;
        if (!c.ok) continue;
        ASSERT_EQ(got.size(), c.commands.size()) << c.script;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].deck, c.commands[i].deck) << c.script;
            EXPECT_EQ(got[i].verb, c.commands[i].verb) << c.script;
            EXPECT_EQ(got[i].argument, c.commands[i].argument) << c.script;
        }
    }
}

TEST(DeckScript, TitleAndArtistFromTheFileName) {
    const struct {
        const char* path;
        const char* title;
        const char* artist;
    } cases[] = {
        {"/m/Queen - Bohemian Rhapsody.mp3", "Bohemian Rhapsody", "Queen"},
        {"/m/a.b/Ünïcode Song.flac", "Ünïcode Song", ""},
        {"/m/No Extension", "No Extension", ""},
        {"/m/ - Title.mp3", " - Title", ""},
        {"/m/Artist - .mp3", "Artist - ", ""},
        {"/m/A - B - C.wav", "B - C", "A"},
    };
    for (const auto& c : cases) {
        std::string title, artist = "stale";
        qkhost::nameFromFile(c.path, &title, &artist);
        EXPECT_EQ(title, c.title) << c.path;
        EXPECT_EQ(artist, c.artist) << c.path;
    }
}

enum class Kind { Send, Number, Text };
struct Step {
    Kind kind;
    std::string script;
    vdj::Result rc;
    std::string text;  // Text: the answer
    double number;     // Number: the answer, within 0.01
};
Step send(std::string script, vdj::Result rc) {
    return {Kind::Send, std::move(script), rc, "", 0};
}
Step number(std::string query, vdj::Result rc, double value) {
    return {Kind::Number, std::move(query), rc, "", value};
}
Step text(std::string query, vdj::Result rc, std::string value) {
    return {Kind::Text, std::move(query), rc, std::move(value), 0};
}

class DeckScriptOnDecks : public ::testing::Test {
protected:
    void SetUp() override {
        qktest::writeSineWav(dir_.file("Singer - Tune.wav"), 44100, 1, 1.0, 440, 0.5);
        qktest::writeSineWav(dir_.file("plain.wav"), 48000, 2, 2.5, 440, 0.5);
        ASSERT_TRUE(qktest::encodeWithFfmpeg(
            dir_.file("plain.wav"), tagged_,
            "-c:a libmp3lame -metadata title='Tagged Title' -metadata artist='Tagged Ärtist'"));
    }

    void run(const std::vector<Step>& steps) {
        for (const Step& s : steps) {
            if (s.kind == Kind::Send) {
                EXPECT_EQ(qkhost::runScript(decks_, s.script), s.rc) << s.script;
            } else if (s.kind == Kind::Number) {
                double value = -1;
                EXPECT_EQ(qkhost::queryNumber(decks_, s.script, &value), s.rc) << s.script;
                EXPECT_NEAR(value, s.number, 0.01) << s.script;
            } else {
                std::string text = "stale";
                EXPECT_EQ(qkhost::queryText(decks_, s.script, &text), s.rc) << s.script;
                EXPECT_EQ(text, s.text) << s.script;
            }
        }
    }

    qktest::TempDir dir_;
    const std::string tune_ = dir_.file("Singer - Tune.wav");
    const std::string tagged_ = dir_.file("späte Stunde.mp3");
    qkhost::Decks decks_{48000};
};

TEST_F(DeckScriptOnDecks, EmptyDecksAnswerNothingButKnowTheQueries) {
    run({
        number("deck 1 play", vdj::kOk, 0),
        number("get_position", vdj::kOk, 0),
        number("deck 2 get_songlength", vdj::kOk, 0),
        text("deck 1 get_title", vdj::kOk, ""),
        text("deck 2 get_artist", vdj::kOk, ""),
        text("get_filepath", vdj::kOk, ""),
        text("deck 2 play", vdj::kOk, "0"),
        send("deck 1 play & deck 2 play_pause & stop & pause & unload", vdj::kOk),
        number("deck 1 play", vdj::kOk, 0),
        number("deck 2 play", vdj::kOk, 0),
    });
}

TEST_F(DeckScriptOnDecks, LoadPlayPauseStopAndTheQueries) {
    run({
        send("deck 1 load '" + tune_ + "'", vdj::kOk),
        number("deck 1 play", vdj::kOk, 0),  // loaded paused
        number("deck 1 get_songlength", vdj::kOk, 1.0),
        text("deck 1 get_title", vdj::kOk, "Tune"),
        text("deck 1 get_artist", vdj::kOk, "Singer"),
        text("get_filepath", vdj::kOk, tune_),
        send("play", vdj::kOk),
        number("deck 1 play", vdj::kOk, 1),
        number("deck 2 play", vdj::kOk, 0),
        send("deck 1 pause", vdj::kOk),
        number("deck 1 play", vdj::kOk, 0),
        send("deck 1 play_pause", vdj::kOk),
        number("deck 1 play", vdj::kOk, 1),
        send("deck 1 stop", vdj::kOk),
        number("deck 1 play", vdj::kOk, 0),
        send("deck 2 volume 50% & deck 2 load \"" + tagged_ + "\" & deck 2 play", vdj::kOk),
        number("deck 2 play", vdj::kOk, 1),
        number("deck 2 get_songlength", vdj::kOk, 2.5),
        text("deck 2 get_title", vdj::kOk, "Tagged Title"),
        text("deck 2 get_artist", vdj::kOk, "Tagged Ärtist"),
        text("deck 2 get_songlength", vdj::kOk, "2.5"),
        send("deck 2 unload", vdj::kOk),
        number("deck 2 play", vdj::kOk, 0),
        text("deck 2 get_title", vdj::kOk, ""),
        text("deck 1 get_title", vdj::kOk, "Tune"),
    });
}

TEST_F(DeckScriptOnDecks, WhatTheSubsetDoesNotKnowFailsAndChangesNothingElse) {
    run({
        send("deck 1 load '" + tune_ + "'", vdj::kOk),
        send("deck 3 play", kScriptFailed),
        send("deck 1 scratch", kScriptFailed),
        send("video off", kScriptFailed),
        send("deck 1 load '" + dir_.file("missing.mp3") + "'", kScriptFailed),
        send("deck 1 load", kScriptFailed),
        send("deck 1 play now", kScriptFailed),
        send("deck 1 volume loud", kScriptFailed),
        send("deck 1 volume 70", vdj::kOk),  // a plain number is a fraction, clamped
        send("deck 1 load '" + tune_, kScriptFailed),
        text("deck 1 get_filepath", vdj::kOk, tune_),  // the failed loads left it
        number("deck 1 play", vdj::kOk, 0),
        // The chain runs on past a command it does not know, and says it failed.
        send("deck 1 bogus & deck 1 play", kScriptFailed),
        number("deck 1 play", vdj::kOk, 1),
        number("deck 1 get_title", kScriptFailed, 0),
        number("deck 3 play", kScriptFailed, 0),
        number("deck 1 play & deck 2 play", kScriptFailed, 0),
        number("deck 1 get_position 5", kScriptFailed, 0),
        text("deck 1 bogus", kScriptFailed, ""),
        text("deck 9 get_title", kScriptFailed, ""),
    });
}

}  // namespace
