// How loud a tone is in a stretch of interleaved stereo sound (left channel).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace qktest {

// The amplitude of the sine at `hz` in frames [from, from + frames) by Goertzel's
// algorithm: exact for a tone that fits the window a whole number of times.
inline double toneAmplitude(const std::vector<float>& stereo, std::size_t from, std::size_t frames, int rate,
                            double hz) {
    const double k = 2 * std::cos(2 * M_PI * hz / rate);
    double s1 = 0, s2 = 0;
    for (std::size_t f = from; f < from + frames; ++f) {
        const double s = stereo[2 * f] + k * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
    return 2 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(frames);
}

}  // namespace qktest
