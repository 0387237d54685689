#include <gtest/gtest.h>

#include <vector>

#include "sound/sound_rate.h"
#include "sound/voices.h"

using qk::sound::Voices;
using qk::sound::VoiceState;

namespace {

// A sound whose left samples are all `left` and right samples all `right`.
std::vector<float> constantSound(int frames, float left = 1.0f, float right = -0.5f) {
    std::vector<float> s(static_cast<size_t>(frames) * 2);
    for (size_t i = 0; i < s.size(); i += 2) {
        s[i] = left;
        s[i + 1] = right;
    }
    return s;
}

// Mixes `frames` frames in blocks of `block` into a buffer that starts at `floor`.
std::vector<float> mixFrames(Voices& v, int frames, int block, int rate, float floor = 0.0f) {
    std::vector<float> out(static_cast<size_t>(frames) * 2, floor);
    for (int at = 0; at < frames; at += block) v.mix(out.data() + 2 * at, std::min(block, frames - at), rate);
    return out;
}

struct RateCase {
    int rate;
    int fadeIn;
};

class MixerAtRate : public ::testing::TestWithParam<RateCase> {};

TEST_P(MixerAtRate, FadeInStartsAtZeroAndRampsExactlyAcrossBlocks) {
    const auto [rate, fadeIn] = GetParam();
    EXPECT_EQ(qk::sound::fadeInLength(rate), fadeIn);
    const auto sound = constantSound(1000);
    Voices v;
    ASSERT_EQ(v.start(sound.data(), 1000, 0.5f, "a"), 0);
    const auto out = mixFrames(v, 600, 100, rate, 0.25f);  // blocks of 100 cut through the ramp
    EXPECT_EQ(out[0], 0.25f);                              // the first frame of every sound has gain 0
    EXPECT_EQ(out[1], 0.25f);
    for (int p = 0; p < 600; ++p) {
        const float g = p < fadeIn ? 0.5f * (static_cast<float>(p) / static_cast<float>(fadeIn)) : 0.5f;
        ASSERT_EQ(out[2 * p], 0.25f + g * 1.0f) << "frame " << p;
        ASSERT_EQ(out[2 * p + 1], 0.25f + g * -0.5f) << "frame " << p;
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, MixerAtRate,
                         ::testing::Values(RateCase{44100, 221}, RateCase{48000, 240}, RateCase{32000, 160}),
                         [](const auto& info) {
                             std::string name = "Hz";
                             name += std::to_string(info.param.rate);
                             return name;
                         });

TEST(Mixer, FadeOutFromFullGainTakesItsFramesThenFreesTheVoice) {
    for (const auto& [rate, fadeOutFrames] : {std::pair{44100, 1764}, std::pair{48000, 1921}}) {
        SCOPED_TRACE(rate);
        const auto sound = constantSound(20000);
        Voices v;
        v.start(sound.data(), 20000, 1.0f, "a");
        mixFrames(v, 512, 512, rate);  // past the fade-in
        v.fadeAll();
        EXPECT_EQ(v[0].state.load(), VoiceState::Fading);
        const auto out = mixFrames(v, 4096, 512, rate);
        EXPECT_EQ(out[0], 1.0f);  // the step applies after the frame
        int sounding = 0;
        while (sounding < 4096 && out[2 * static_cast<size_t>(sounding)] > 0.0f) ++sounding;
        EXPECT_EQ(sounding, fadeOutFrames);
        for (int j = sounding; j < 4096; ++j) ASSERT_EQ(out[2 * static_cast<size_t>(j)], 0.0f);
        EXPECT_EQ(v[0].state.load(), VoiceState::Idle);
    }
}

TEST(Mixer, RateConstantsFollowTheEffectiveRate) {
    EXPECT_EQ(qk::sound::effectiveRate(48000), 48000);
    EXPECT_EQ(qk::sound::effectiveRate(8001), 8001);
    for (int low : {8000, 0, -5}) EXPECT_EQ(qk::sound::effectiveRate(low), 44100);
    EXPECT_EQ(qk::sound::fadeOutStep(44100), 1.0f / 1764.0f);
    EXPECT_EQ(qk::sound::fadeOutStep(48000), 1.0f / 1920.0f);
}

TEST(Mixer, SoundShorterThanTheFadeInRisesToItsEndAndFreesItsVoice) {
    const auto sound = constantSound(100);
    Voices v;
    v.start(sound.data(), 100, 1.0f, "short");
    const auto out = mixFrames(v, 512, 512, 48000, 0.5f);
    for (int p = 0; p < 100; ++p) ASSERT_EQ(out[2 * p], 0.5f + static_cast<float>(p) / 240.0f) << p;
    for (int p = 100; p < 512; ++p) ASSERT_EQ(out[2 * p], 0.5f) << p;
    EXPECT_EQ(v[0].state.load(), VoiceState::Idle);
}

TEST(Mixer, StopDuringTheFadeInAppliesBothFactorsAndEndsAtZeroGain) {
    const auto sound = constantSound(20000);
    Voices v;
    v.start(sound.data(), 20000, 2.0f, "a");
    mixFrames(v, 50, 50, 48000);
    v.fadeAll();
    const auto out = mixFrames(v, 2400, 512, 48000);
    const float step = qk::sound::fadeOutStep(48000);
    float fadeGain = 1.0f;
    int j = 0;
    for (; fadeGain > 0.0f; ++j) {
        const int p = 50 + j;
        float g = fadeGain * 2.0f;
        if (p < 240) g = g * (static_cast<float>(p) / 240.0f);
        ASSERT_EQ(out[2 * static_cast<size_t>(j)], g * 1.0f) << j;
        fadeGain -= step;
    }
    EXPECT_EQ(j, 1921);
    EXPECT_EQ(out[2 * static_cast<size_t>(j)], 0.0f);
    EXPECT_EQ(v[0].state.load(), VoiceState::Idle);
}

TEST(Mixer, SoundEndingMidBlockLeavesTheRestUntouchedAndItsVoiceFree) {
    const auto sound = constantSound(300, 0.5f, 0.5f);
    Voices v;
    v.start(sound.data(), 300, 1.0f, "a");
    const auto out = mixFrames(v, 512, 512, 48000, 0.125f);
    EXPECT_EQ(out[2 * 299], 0.625f);
    for (size_t i = 2 * 300; i < out.size(); ++i) ASSERT_EQ(out[i], 0.125f) << i;
    EXPECT_EQ(v[0].state.load(), VoiceState::Idle);
    EXPECT_EQ(v.start(sound.data(), 300, 1.0f, "b"), 0);  // free again
}

TEST(Mixer, EightVoicesAtVolumeTwoAreNotClipped) {
    const auto sound = constantSound(2000, 1.0f, -1.0f);
    Voices v;
    for (int i = 0; i < Voices::kCount; ++i) EXPECT_EQ(v.start(sound.data(), 2000, 2.0f, "x"), i);
    EXPECT_EQ(v.start(sound.data(), 2000, 2.0f, "x"), -1);
    const auto out = mixFrames(v, 1024, 512, 48000);
    EXPECT_EQ(out[2 * 1000], 16.0f);
    EXPECT_EQ(out[2 * 1000 + 1], -16.0f);
}

TEST(Mixer, ZeroFrameBlockChangesNothing) {
    const auto sound = constantSound(10);
    Voices v;
    v.start(sound.data(), 10, 1.0f, "a");
    float untouched[2] = {0.75f, 0.75f};
    v.mix(untouched, 0, 48000);
    v.mix(nullptr, 512, 48000);
    EXPECT_EQ(untouched[0], 0.75f);
    EXPECT_EQ(v[0].state.load(), VoiceState::Playing);
    EXPECT_EQ(v[0].position.load(), 0);
}

TEST(Mixer, FadeRequestsNeverReviveAnEndedVoiceAndSilenceIsImmediate) {
    const auto sound = constantSound(64);
    Voices v;
    v.start(sound.data(), 64, 1.0f, "a");
    v.start(sound.data(), 64, 1.0f, "b");
    mixFrames(v, 512, 512, 48000);  // both end inside the block
    EXPECT_EQ(v.fadeMatching("a"), 0);
    v.fadeAll();
    EXPECT_EQ(v[0].state.load(), VoiceState::Idle);
    EXPECT_EQ(v[1].state.load(), VoiceState::Idle);

    const auto longSound = constantSound(5000);
    v.start(longSound.data(), 5000, 1.0f, "c");
    v.silenceAll();
    const auto out = mixFrames(v, 512, 512, 48000, 0.5f);
    for (float s : out) ASSERT_EQ(s, 0.5f);
}

TEST(Mixer, VoiceWithoutSamplesOrPastItsEndIsFreedSilently) {
    Voices v;
    v.start(nullptr, 100, 1.0f, "none");
    const auto sound = constantSound(10);
    v.start(sound.data(), 10, 1.0f, "past");
    v[1].position.store(10);
    const auto out = mixFrames(v, 16, 16, 48000, 0.5f);
    for (float s : out) ASSERT_EQ(s, 0.5f);
    EXPECT_EQ(v[0].state.load(), VoiceState::Idle);
    EXPECT_EQ(v[1].state.load(), VoiceState::Idle);
}

}  // namespace
