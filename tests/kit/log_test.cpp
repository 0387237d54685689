#include "kit/log.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "tests/support/env.h"
#include "tests/support/temp_dir.h"

namespace {

// "HH:MM:SS.mmm" at the start of a line.
bool startsWithStamp(const std::string& line) {
    if (line.size() < 12) return false;
    for (size_t i = 0; i < 12; ++i) {
        const char c = line[i];
        const bool ok = (i == 2 || i == 5) ? c == ':' : i == 8 ? c == '.' : (c >= '0' && c <= '9');
        if (!ok) return false;
    }
    return true;
}

TEST(Log, CompanionLineFormatAndCut) {
    qktest::TempDir tmp;
    const auto log = qk::LogFile::companion(tmp.file("sound.log"));
    log.logLine("OnLoad qkDir=%s rate=%d", "/x/QuorvaleKaraoke", 48000);
    const std::string long2000(2000, 'a');
    log.logLine("%s", long2000.c_str());

    const std::string text = qktest::readFile(tmp.file("sound.log"));
    const auto firstEnd = text.find('\n');
    ASSERT_NE(firstEnd, std::string::npos);
    const std::string first = text.substr(0, firstEnd);
    EXPECT_TRUE(startsWithStamp(first)) << first;
    EXPECT_EQ(first.substr(12), " OnLoad qkDir=/x/QuorvaleKaraoke rate=48000");
    const std::string second = text.substr(firstEnd + 1);
    // "HH:MM:SS.mmm " + 1023 bytes + line feed.
    EXPECT_EQ(second.size(), 13u + 1023u + 1u);
    EXPECT_EQ(second.substr(13), std::string(1023, 'a') + "\n");
}

TEST(Log, EmptyPathLogsNothingAndKaraokeStyleHasNoLimit) {
    qk::LogFile none = qk::LogFile::companion("");
    none.logLine("dropped");  // must not crash or create anything

    const auto karaoke = qk::LogFile::karaoke();
    EXPECT_NE(karaoke.path().find("QuorvaleKaraoke-win.log"), std::string::npos);

    qktest::TempDir tmp;
    const char* old = std::getenv(qktest::kTempFolderVariable);
    const std::string saved = old ? old : "";
    qktest::setEnv(qktest::kTempFolderVariable, tmp.path());
    const auto k = qk::LogFile::karaoke();
    if (old)
        qktest::setEnv(qktest::kTempFolderVariable, saved);
    else
        qktest::unsetEnv(qktest::kTempFolderVariable);
    EXPECT_EQ(k.path(), tmp.file("QuorvaleKaraoke-win.log"));
    const std::string long3000(3000, 'b');
    k.logLine("msg %s", long3000.c_str());
    const std::string text = qktest::readFile(k.path());
    EXPECT_TRUE(startsWithStamp(text));
    EXPECT_EQ(text.substr(12, 2), "  ");
    EXPECT_EQ(text.substr(14), "msg " + long3000 + "\n");
}

TEST(Log, MalformedUtf8IsWrittenWithReplacementCharacters) {
    qktest::TempDir tmp;
    const auto log = qk::LogFile::companion(tmp.file("overlay.log"));
    log.logLine("bad \xC3 end");
    EXPECT_EQ(qktest::readFile(tmp.file("overlay.log")).substr(13), "bad \xEF\xBF\xBD end\n");
}

TEST(Log, LinesFromManyThreadsStayWhole) {
    qktest::TempDir tmp;
    const auto log = qk::LogFile::companion(tmp.file("sound.log"));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&log, t] {
            for (int i = 0; i < 200; ++i) log.logLine("thread %d line %03d %s", t, i, std::string(100, 'z').c_str());
        });
    for (auto& th : threads) th.join();
    const std::string text = qktest::readFile(tmp.file("sound.log"));
    size_t count = 0, pos = 0;
    while (pos < text.size()) {
        const auto end = text.find('\n', pos);
        ASSERT_NE(end, std::string::npos);
        const std::string line = text.substr(pos, end - pos);
        EXPECT_TRUE(startsWithStamp(line) && line.size() == 12 + 19 + 100 && line.substr(12, 8) == " thread ")
            << line;
        pos = end + 1;
        ++count;
    }
    EXPECT_EQ(count, 800u);
}

}  // namespace
