// The marker left at release: when it is written, what it says, and its bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "karaoke/end_show_marker.h"
#include "kit/json_access.h"
#include "platform/files.h"
#include "tests/support/karaoke_log.h"
#include "tests/support/special_files.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

struct Expected {
    std::string show;
    int rot;
    int perf;
};

struct Case {
    const char* what;
    std::function<void(const qktest::TempDir&)> setup;
    std::optional<Expected> marker;
};

void show(const qktest::TempDir& d, const std::string& name, const std::string& json) {
    fs::create_directories(d.file("shows"));
    qktest::writeFile(d.file("shows/" + name), json);
}
void settings(const qktest::TempDir& d, const std::string& json) { qktest::writeFile(d.file("settings.json"), json); }
void age(const qktest::TempDir& d, const std::string& name, int seconds) {
    const auto path = d.file("shows/" + name);
    fs::last_write_time(path, fs::last_write_time(path) - std::chrono::seconds(seconds));
}

// True when the text has the shape 2025-03-01T23:59:07Z.
bool isUtcStamp(const std::string& s) {
    if (s.size() != 20) return false;
    for (size_t i = 0; i < s.size(); ++i) {
        const char want = i == 4 || i == 7 ? '-' : i == 10 ? 'T' : i == 13 || i == 16 ? ':' : i == 19 ? 'Z' : '#';
        if (want == '#' ? !std::isdigit(static_cast<unsigned char>(s[i])) : s[i] != want) return false;
    }
    return true;
}

TEST(EndShowMarker, WrittenOnlyWhenAShowHasSomethingToClose) {
    const auto one = [](const qktest::TempDir& d) { show(d, "a.json", R"({"queue":[1]})"); };
    const Case cases[] = {
        {"settings false", [&](auto& d) { one(d); settings(d, R"({"endShowOnQuit":false})"); }, std::nullopt},
        {"settings 0", [&](auto& d) { one(d); settings(d, R"({"endShowOnQuit":0})"); }, Expected{"a.json", 1, 0}},
        {"settings \"false\"", [&](auto& d) { one(d); settings(d, R"({"endShowOnQuit":"false"})"); },
         Expected{"a.json", 1, 0}},
        {"settings true", [&](auto& d) { one(d); settings(d, R"({"endShowOnQuit":true})"); }, Expected{"a.json", 1, 0}},
        {"invalid settings", [&](auto& d) { one(d); settings(d, R"({"endShowOnQuit":false)"); },
         Expected{"a.json", 1, 0}},
        {"settings not an object", [&](auto& d) { one(d); settings(d, "[false]"); }, Expected{"a.json", 1, 0}},
        {"no shows folder", [](auto&) {}, std::nullopt},
        {"only subfolders", [](auto& d) { fs::create_directories(d.file("shows/old.json")); }, std::nullopt},
        {"other files ignored",
         [](auto& d) {
             show(d, "a.json", R"({"performances":[1,2,3]})");
             age(d, "a.json", 60);
             show(d, "notes.txt", R"({"queue":[1]})");
         },
         Expected{"a.json", 0, 3}},
        {"empty queue, no performances", [](auto& d) { show(d, "a.json", R"({"queue":[]})"); }, std::nullopt},
        {"queue as an object",
         [](auto& d) { show(d, "a.json", R"({"queue":{"a":1,"b":2,"c":3},"performances":[{},{}]})"); },
         Expected{"a.json", 0, 2}},
        {"show not an object", [](auto& d) { show(d, "a.json", "[1,2]"); }, std::nullopt},
        {"show not JSON", [](auto& d) { show(d, "a.json", R"({"queue":[1],})"); }, std::nullopt},
        {"newest show wins",
         [](auto& d) {
             show(d, "older.json", R"({"queue":[1,2,3]})");
             age(d, "older.json", 3600);
             show(d, "newer.json", R"({"queue":[1],"performances":[1]})");
         },
         Expected{"newer.json", 1, 1}},
        {"non-ASCII name", [](auto& d) { show(d, "Caf\xC3\xA9 \xF0\x9F\x8E\xA4.json", R"({"queue":[1,2]})"); },
         Expected{"Caf\xC3\xA9 \xF0\x9F\x8E\xA4.json", 2, 0}},
        {"earlier marker replaced",
         [&](auto& d) {
             one(d);
             qktest::writeFile(d.file("pending-end-show.json"), std::string(500, ' ') + "{\"old\":true}");
         },
         Expected{"a.json", 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qktest::KaraokeLogCapture log;
        qktest::TempDir d;
        c.setup(d);
        qk::karaoke::writeEndShowMarker(d.path(), qk::LogFile::karaoke());
        const std::string markerPath = d.file("pending-end-show.json");
        if (!c.marker) {
            if (qktest::exists(markerPath)) ADD_FAILURE() << qktest::readFile(markerPath);
            EXPECT_EQ(log.text(), "");
            continue;
        }
        const std::string bytes = qktest::readFile(markerPath);
        const auto parsed = qk::parseJsonStrict(bytes);
        ASSERT_TRUE(parsed && parsed->is_object()) << bytes;
        const std::string at = (*parsed)["at"].get<std::string>();
        EXPECT_TRUE(isUtcStamp(at)) << at;
        EXPECT_EQ(bytes, "{\"ask\":true,\"at\":\"" + at + "\",\"perf\":" + std::to_string(c.marker->perf) +
                             ",\"rot\":" + std::to_string(c.marker->rot) + ",\"show\":\"" + c.marker->show + "\"}");
        EXPECT_TRUE(log.hasLine("end-show marker written (show=" + c.marker->show + " rot=" +
                                std::to_string(c.marker->rot) + " perf=" + std::to_string(c.marker->perf) + ")"))
            << log.text();
    }
}

// A pipe where a document should be is unreadable at once, never a wait at quit.
TEST(EndShowMarker, PipesInPlaceOfDocumentsDoNotHoldUpTheQuit) {
    using namespace std::chrono_literals;
    {
        qktest::KaraokeLogCapture log;
        qktest::TempDir d;
        show(d, "a.json", R"({"queue":[1]})");
        ASSERT_TRUE(qktest::makeFifo(d.file("settings.json")));
        EXPECT_TRUE(qktest::endsWithin(2s, d.file("settings.json"),
                                       [&] { qk::karaoke::writeEndShowMarker(d.path(), qk::LogFile::karaoke()); }));
        EXPECT_TRUE(log.hasLine("end-show marker written (show=a.json rot=1 perf=0)")) << log.text();
    }
    {
        qktest::KaraokeLogCapture log;
        qktest::TempDir d;
        show(d, "a.json", R"({"queue":[1]})");
        age(d, "a.json", 60);
        ASSERT_TRUE(qktest::makeFifo(d.file("shows/b.json")));
        EXPECT_TRUE(qktest::endsWithin(2s, d.file("shows/b.json"),
                                       [&] { qk::karaoke::writeEndShowMarker(d.path(), qk::LogFile::karaoke()); }));
    }
}

TEST(EndShowMarker, EqualTimesKeepTheShowListedFirst) {
    qktest::KaraokeLogCapture log;
    qktest::TempDir d;
    show(d, "x.json", R"({"queue":[1]})");
    show(d, "y.json", R"({"queue":[1,2]})");
    fs::last_write_time(d.file("shows/y.json"), fs::last_write_time(d.file("shows/x.json")));
    const auto listed = qk::platform::listFolder(d.file("shows"));
    ASSERT_TRUE(listed && listed->size() == 2);
    qk::karaoke::writeEndShowMarker(d.path(), qk::LogFile::karaoke());
    EXPECT_EQ((*qk::parseJsonStrict(qktest::readFile(d.file("pending-end-show.json"))))["show"], (*listed)[0].name);
}

TEST(EndShowMarker, NothingWithoutADataFolderAndFailuresAreLogged) {
    qktest::KaraokeLogCapture log;
    qk::karaoke::writeEndShowMarker("", qk::LogFile::karaoke());
    EXPECT_EQ(log.text(), "");

    // The data folder is reached through a link and canonicalized first.
    qktest::TempDir d;
    show(d, "a.json", R"({"queue":[1]})");
    fs::create_directory_symlink(d.path(), d.path() + "-link");
    qk::karaoke::writeEndShowMarker(d.path() + "-link/", qk::LogFile::karaoke());
    EXPECT_TRUE(qktest::exists(d.file("pending-end-show.json")));
    fs::remove(d.path() + "-link");

    // A marker that cannot replace what is in its place.
    fs::remove(d.file("pending-end-show.json"));
    fs::create_directories(d.file("pending-end-show.json/blocker"));
    qk::karaoke::writeEndShowMarker(d.path(), qk::LogFile::karaoke());
    EXPECT_TRUE(log.hasLine("end-show marker FAILED: write failed (replace)")) << log.text();
}

}  // namespace
