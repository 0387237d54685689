#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "kit/log.h"
#include "sound/sound_cache.h"
#include "tests/sound/cached_sound_checks.h"
#include "tests/sound/sound_files.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"

using qk::sound::CachedSound;
using qk::sound::SoundCache;

namespace {

using qktest::frequency;
using qktest::rms;

class Decoder : public ::testing::Test {
protected:
    std::string lastLog() const { return qktest::lastLogLine(dir_.file("sound.log")); }
    int logLineCount() const {
        const std::string text = qktest::readFile(dir_.file("sound.log"));
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }

    qktest::TempDir dir_;
    qk::LogFile log_ = qk::LogFile::companion(dir_.file("sound.log"));
    SoundCache cache_{log_};
};

TEST_F(Decoder, StereoWavAtTheEngineRateComesThroughSampleForSample) {
    const std::string path = dir_.file("stereo.wav");
    qktest::writeWav16(path, 48000, 2, 24000, [](std::int64_t f, int c) {
        return (c == 0 ? 0.5 : -0.25) * std::sin(2 * M_PI * 440.0 * static_cast<double>(f) / 48000);
    });
    const CachedSound* s = cache_.loadSound(path, 48000);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->frameCount, 24000);
    ASSERT_EQ(s->samples.size(), 48000u);
    for (std::int32_t f = 0; f < s->frameCount; f += 97) {
        const double want = std::sin(2 * M_PI * 440.0 * f / 48000);
        ASSERT_NEAR(s->samples[2 * static_cast<size_t>(f)], 0.5 * want, 1.0 / 32000) << f;
        ASSERT_NEAR(s->samples[2 * static_cast<size_t>(f) + 1], -0.25 * want, 1.0 / 32000) << f;
    }
    EXPECT_EQ(lastLog(), "decoded stereo.wav - 0.5s @48000Hz (cache: 1 sounds)");
}

TEST_F(Decoder, MonoAt22050IsResampledAndPlaysOnBothSidesAtFullLevel) {
    const std::string path = dir_.file("mono.wav");
    qktest::writeSineWav(path, 22050, 1, 1.0, 441, 0.5);
    const CachedSound* s = cache_.loadSound(path, 48000);
    ASSERT_NE(s, nullptr);
    EXPECT_NEAR(s->frameCount, 48000, 48);
    EXPECT_NEAR(frequency(*s, 48000), 441, 2);
    EXPECT_NEAR(rms(*s, 0, 1000, 47000), 0.5 / std::sqrt(2.0), 0.01);
    for (std::int32_t f = 0; f < s->frameCount; ++f)
        ASSERT_EQ(s->samples[2 * static_cast<size_t>(f)], s->samples[2 * static_cast<size_t>(f) + 1]) << f;
    EXPECT_EQ(lastLog(), "decoded mono.wav - 1.0s @48000Hz (cache: 1 sounds)");
}

TEST_F(Decoder, CompressedFormatsDecode) {
    const std::string source = dir_.file("source.wav");
    qktest::writeSineWav(source, 44100, 2, 1.0, 1000, 0.5);
    const std::pair<const char*, const char*> formats[] = {{"tone.mp3", "-c:a libmp3lame -b:a 128k"},
                                                           {"tone.flac", ""},
                                                           {"tone.ogg", "-c:a libvorbis"},
                                                           {"tone.m4a", "-c:a aac -b:a 128k"}};
    unsigned n = 0;
    for (const auto& [name, args] : formats) {
        SCOPED_TRACE(name);
        const std::string path = dir_.file(name);
        ASSERT_TRUE(qktest::encodeWithFfmpeg(source, path, args));
        const CachedSound* s = cache_.loadSound(path, 44100);
        ASSERT_NE(s, nullptr) << lastLog();
        ++n;
        EXPECT_NEAR(s->frameCount, 44100, 2100);  // encoders may pad a frame or two
        EXPECT_NEAR(rms(*s, 1, 4410, 39690), 0.5 / std::sqrt(2.0), 0.02);
        EXPECT_NEAR(frequency(*s, 44100), 1000, 50);
        EXPECT_EQ(lastLog(),
                  "decoded " + std::string(name) + " - 1.0s @44100Hz (cache: " + std::to_string(n) + " sounds)");
    }
}

TEST_F(Decoder, LongerThanThreeMinutesIsCutAtTheCap) {
    const std::string path = dir_.file("long.wav");
    qktest::writeWav16(path, 8000, 1, 8000 * 181, [](std::int64_t f, int) { return (f % 80) < 40 ? 0.25 : -0.25; });
    const CachedSound* s = cache_.loadSound(path, 44100);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->frameCount, 44100 * 180);
    EXPECT_EQ(s->samples.size(), 2u * 44100 * 180);
    EXPECT_EQ(lastLog(), "decoded long.wav - 180.0s @44100Hz [TRUNCATED at cap] (cache: 1 sounds)");
}

TEST_F(Decoder, SecondPlayComesFromTheCacheWithoutALogLine) {
    const std::string path = dir_.file("again.wav");
    qktest::writeSineWav(path, 48000, 2, 0.1, 440, 0.5);
    const CachedSound* first = cache_.loadSound(path, 48000);
    const int lines = logLineCount();
    EXPECT_EQ(cache_.loadSound(path, 48000), first);
    EXPECT_EQ(logLineCount(), lines);
    EXPECT_EQ(cache_.size(), 1u);
}

TEST_F(Decoder, FailuresAreLoggedAndTriedAgainOnEveryPlay) {
    const std::string missing = dir_.file("missing.wav");
    EXPECT_EQ(cache_.loadSound(missing, 48000), nullptr);
    EXPECT_EQ(lastLog(), "decode FAIL (open): missing.wav");
    EXPECT_EQ(cache_.loadSound(missing, 48000), nullptr);
    EXPECT_EQ(logLineCount(), 2);
    qktest::writeSineWav(missing, 48000, 2, 0.1, 440, 0.5);  // it turns up later
    EXPECT_NE(cache_.loadSound(missing, 48000), nullptr);

    const std::string video = dir_.file("video.mkv");
    ASSERT_EQ(qktest::runCommand("ffmpeg -nostdin -v error -y -f lavfi -i color=c=red:s=16x16:d=0.2 -c:v ffv1 '" +
                                 video + "'")
                  .exitCode,
              0);
    EXPECT_EQ(cache_.loadSound(video, 48000), nullptr);
    EXPECT_EQ(lastLog(), "decode FAIL (media type, hr=0xADABAC08): video.mkv");  // no audio stream

    const std::string empty = dir_.file("empty.wav");
    qktest::writeWav16(empty, 48000, 2, 0, [](std::int64_t, int) { return 0.0; });
    EXPECT_EQ(cache_.loadSound(empty, 48000), nullptr);
    EXPECT_EQ(lastLog(), "decode FAIL (empty): empty.wav");
    EXPECT_EQ(cache_.size(), 1u);
}

TEST_F(Decoder, DamagedFilesFailOrGiveWhatIsReadable) {
    const std::string good = dir_.file("good.mp3");
    qktest::writeSineWav(dir_.file("good.wav"), 44100, 2, 4.0, 440, 0.5);
    ASSERT_TRUE(qktest::encodeWithFfmpeg(dir_.file("good.wav"), good, "-c:a libmp3lame"));
    const std::string bytes = qktest::readFile(good);
    std::string noise(60000, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
    std::string corrupt = bytes;
    for (size_t i = corrupt.size() / 3; i < corrupt.size() / 2; ++i) corrupt[i] = static_cast<char>(i * 7);
    qktest::writeFile(dir_.file("zero.mp3"), "");
    qktest::writeFile(dir_.file("noise.mp3"), noise);
    qktest::writeFile(dir_.file("half.mp3"), bytes.substr(0, bytes.size() / 2));
    qktest::writeFile(dir_.file("corrupt.mp3"), corrupt);
    std::filesystem::create_directory(dir_.file("folder.mp3"));

    for (const char* name : {"zero.mp3", "noise.mp3", "folder.mp3"}) {
        EXPECT_EQ(cache_.loadSound(dir_.file(name), 48000), nullptr) << name;
        EXPECT_EQ(lastLog().rfind("decode FAIL (", 0), 0u) << lastLog();
    }
    const CachedSound* half = cache_.loadSound(dir_.file("half.mp3"), 48000);
    ASSERT_NE(half, nullptr) << lastLog();
    EXPECT_NEAR(half->frameCount, 96000, 4800);
    const CachedSound* damaged = cache_.loadSound(dir_.file("corrupt.mp3"), 48000);
    ASSERT_NE(damaged, nullptr) << lastLog();
    EXPECT_GT(damaged->frameCount, 96000);  // the frames around the damage are skipped, the rest plays
}

// A decoder that delivers another format, one chunk, then a read failure.
class FailingDecoder final : public qk::platform::AudioDecoder {
public:
    qk::platform::DecodeCode setOutputFormat(int) override { return 0; }
    qk::platform::DecodedFormat outputFormat() const override { return {22050, 1}; }
    qk::platform::ReadStatus read(qk::platform::DecodedChunk* chunk, qk::platform::DecodeCode* code) override {
        if (calls_++ == 0) {
            *chunk = {};  // a gap first
            return qk::platform::ReadStatus::Chunk;
        }
        if (calls_ == 2) {
            *chunk = {samples_, 2};
            return qk::platform::ReadStatus::Chunk;
        }
        *code = -5;
        return qk::platform::ReadStatus::Failed;
    }

private:
    int calls_ = 0;
    float samples_[4] = {0.1f, 0.2f, 0.3f, 0.4f};
};

TEST_F(Decoder, ReadFailureKeepsWhatWasReadAndOtherFormatsAreWarnedAbout) {
    SoundCache cache(log_, [](const std::string&) { return std::make_unique<FailingDecoder>(); });
    qktest::writeFile(dir_.file("broken.mp3"), "not a sound: the decoder double answers for it");
    const CachedSound* s = cache.loadSound(dir_.file("broken.mp3"), 48000);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->frameCount, 2);
    EXPECT_EQ(s->samples, (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));
    std::istringstream in(qktest::readFile(dir_.file("sound.log")));
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l.substr(13));
    EXPECT_EQ(lines, (std::vector<std::string>{"decode WARN: asked 48000Hz/2ch, got 22050Hz/1ch - broken.mp3",
                                               "decode FAIL (read, hr=0xFFFFFFFB): broken.mp3",
                                               "decoded broken.mp3 - 0.0s @48000Hz (cache: 1 sounds)"}));
}

}  // namespace
