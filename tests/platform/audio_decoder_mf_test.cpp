// The Media Foundation decoder behind the sound cache, on files the tests write
// (WAV) or the build made with ffmpeg (MP3), decoded by the real source reader.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>

#include "kit/log.h"
#include "platform/audio_decoder.h"
#include "sound/sound_cache.h"
#include "tests/sound/cached_sound_checks.h"
#include "tests/sound/sound_files.h"
#include "tests/support/temp_dir.h"

using qk::sound::CachedSound;
using qk::sound::SoundCache;

namespace {

using qktest::frequency;
using qktest::rms;

// Wine's source reader delivers only the file's own rate and channel count.
bool underWine() { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }
constexpr std::uint32_t kTopologyCodecNotFound = 0xC00D5212;

class MediaFoundationDecoder : public ::testing::Test {
protected:
    std::string lastLog() const { return qktest::lastLogLine(dir_.file("sound.log")); }
    // Skips when this platform's reader cannot convert `path` to stereo at `rate`.
    bool readerConverts(const std::string& path, int rate) {
        auto d = qk::platform::AudioDecoder::open(path);
        return d && static_cast<std::uint32_t>(d->setOutputFormat(rate)) != kTopologyCodecNotFound;
    }

    qk::platform::DecodingThread decoding_;
    qktest::TempDir dir_;
    qk::LogFile log_ = qk::LogFile::companion(dir_.file("sound.log"));
    SoundCache cache_{log_};
};

TEST_F(MediaFoundationDecoder, StartsOnTheDecodingThread) { EXPECT_TRUE(decoding_.started()); }

TEST_F(MediaFoundationDecoder, StereoWavAtTheEngineRateComesThroughSampleForSample) {
    const std::string path = dir_.file("stereo.wav");
    qktest::writeWav16(path, 48000, 2, 24000, [](std::int64_t f, int c) {
        return (c == 0 ? 0.5 : -0.25) * std::sin(2 * 3.14159265358979 * 440.0 * static_cast<double>(f) / 48000);
    });
    const CachedSound* s = cache_.loadSound(path, 48000);
    ASSERT_NE(s, nullptr) << lastLog();
    EXPECT_EQ(s->frameCount, 24000);
    for (std::int32_t f = 0; f < s->frameCount; f += 97) {
        const double want = std::sin(2 * 3.14159265358979 * 440.0 * f / 48000);
        ASSERT_NEAR(s->samples[2 * static_cast<size_t>(f)], 0.5 * want, 1.0 / 32000) << f;
        ASSERT_NEAR(s->samples[2 * static_cast<size_t>(f) + 1], -0.25 * want, 1.0 / 32000) << f;
    }
    EXPECT_EQ(lastLog(), "decoded stereo.wav - 0.5s @48000Hz (cache: 1 sounds)");
}

TEST_F(MediaFoundationDecoder, Mp3Decodes) {
    // The build's folder is a POSIX path (a drive-relative one to Windows): the
    // sound is played from a drive path, as a KJ's would be.
    const std::string made = std::string(QK_MF_FIXTURES) + "\\tone.mp3";
    ASSERT_TRUE(qktest::exists(made)) << made;
    const std::string path = dir_.file("tone.mp3");
    qktest::writeFile(path, qktest::readFile(made));
    const CachedSound* s = cache_.loadSound(path, 48000);
    ASSERT_NE(s, nullptr) << lastLog();
    EXPECT_NEAR(s->frameCount, 48000, 2400);  // the encoder's padding may stay
    EXPECT_NEAR(rms(*s, 1, 4800, 43200), 0.5 / std::sqrt(2.0), 0.02);
    EXPECT_NEAR(frequency(*s, 48000), 1000, 50);
    EXPECT_EQ(lastLog().rfind("decoded tone.mp3 - 1.0s @48000Hz (cache: 1 sounds)", 0), 0u) << lastLog();
}

TEST_F(MediaFoundationDecoder, MonoAtAnotherRateIsConvertedToStereoAtTheEngineRate) {
    const std::string path = dir_.file("mono.wav");
    qktest::writeSineWav(path, 22050, 1, 1.0, 441, 0.5);
    if (underWine() && !readerConverts(path, 48000))
        GTEST_SKIP() << "Wine's Media Foundation source reader does no sample-rate or channel conversion "
                        "(0xC00D5212 for 22050 Hz mono asked as 48000 Hz stereo)";
    const CachedSound* s = cache_.loadSound(path, 48000);
    ASSERT_NE(s, nullptr) << lastLog();
    EXPECT_NEAR(s->frameCount, 48000, 48);
    EXPECT_NEAR(frequency(*s, 48000), 441, 2);
    EXPECT_EQ(lastLog(), "decoded mono.wav - 1.0s @48000Hz (cache: 1 sounds)");
}

TEST_F(MediaFoundationDecoder, RefusedConversionIsLoggedWithTheReadersCode) {
    // What a KJ sees under a reader that cannot convert: the media-type line.
    const std::string path = dir_.file("mono.wav");
    qktest::writeSineWav(path, 22050, 1, 0.2, 441, 0.5);
    if (readerConverts(path, 48000)) GTEST_SKIP() << "this platform's source reader converts 22050 Hz mono";
    EXPECT_EQ(cache_.loadSound(path, 48000), nullptr);
    EXPECT_EQ(lastLog(), "decode FAIL (media type, hr=0xC00D5212): mono.wav");
}

TEST_F(MediaFoundationDecoder, LongerThanThreeMinutesIsCutAtTheCap) {
    const std::string path = dir_.file("long.wav");
    qktest::writeWav16(path, 48000, 2, 48000 * 181, [](std::int64_t f, int) { return (f % 96) < 48 ? 0.25 : -0.25; });
    const CachedSound* s = cache_.loadSound(path, 48000);
    ASSERT_NE(s, nullptr) << lastLog();
    EXPECT_EQ(s->frameCount, 48000 * 180);
    EXPECT_EQ(lastLog(), "decoded long.wav - 180.0s @48000Hz [TRUNCATED at cap] (cache: 1 sounds)");
}

TEST_F(MediaFoundationDecoder, FailuresAreLoggedAndTriedAgain) {
    const std::string missing = dir_.file("missing.wav");
    EXPECT_EQ(cache_.loadSound(missing, 48000), nullptr);
    EXPECT_EQ(lastLog(), "decode FAIL (open): missing.wav");
    qktest::writeSineWav(missing, 48000, 2, 0.1, 440, 0.5);  // it turns up later
    EXPECT_NE(cache_.loadSound(missing, 48000), nullptr) << lastLog();

    std::string noise(60000, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
    qktest::writeFile(dir_.file("noise.mp3"), noise);
    qktest::writeFile(dir_.file("zero.mp3"), "");
    for (const char* name : {"noise.mp3", "zero.mp3"}) {
        EXPECT_EQ(cache_.loadSound(dir_.file(name), 48000), nullptr) << name;
        EXPECT_EQ(lastLog().rfind("decode FAIL (", 0), 0u) << lastLog();
    }
    EXPECT_EQ(cache_.size(), 1u);
}

}  // namespace
