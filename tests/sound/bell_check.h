// What the stand-in host's master output must hold after the sound board played
// the tests' bell (a 1 kHz sine at amplitude 0.5, asked for after the start):
// silence until the command, then the tone at its level. Shared by the Linux and
// Windows runs of qkhost.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>

#include "tests/sound/sound_files.h"

namespace qktest {

// Checks at most `maxWindows` 50 ms windows after the onset (all of them when 0).
inline void expectBellInMasterOutput(const FloatWav& wav, std::size_t maxWindows = 0) {
    ASSERT_EQ(wav.rate, 48000);
    ASSERT_EQ(wav.channels, 2);
    const std::size_t frames = wav.samples.size() / 2;
    const std::size_t window = 2400;  // 50 ms
    std::size_t onset = 0;
    while (onset + window <= frames && windowRms(wav, onset, window) == 0.0) onset += window;
    ASSERT_LT(onset + 6 * window, frames) << "the bell never sounded";
    EXPECT_GE(onset, window);  // silence until the command came
    const std::size_t end = maxWindows == 0 ? frames : std::min(frames, onset + maxWindows * window);
    const std::size_t from = onset + 2 * window, to = end - window;
    EXPECT_NEAR(windowRms(wav, from, to - from), 0.5 / std::sqrt(2.0), 0.02);
    EXPECT_GT(toneShare(wav, from, to - from, 1000), 0.95);
}

// The sound log of that run: the play on voice 0, and Release last.
inline void expectBellPlayedThenReleased(const std::string& log) {
    EXPECT_NE(log.find(" play bell vol=1.00 voice=0\n"), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.size() - std::min<std::size_t>(log.size(), 8)), "Release\n") << log;
}

}  // namespace qktest
