// What the decoder tests measure on a decoded sound, and the sound log's last
// line, shared by the tests of every decoder backend.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "sound/sound_cache.h"
#include "tests/support/temp_dir.h"

namespace qktest {

// The last line of a log file without its time stamp.
inline std::string lastLogLine(const std::string& logPath) {
    std::istringstream in(readFile(logPath));
    std::string line, last;
    while (std::getline(in, line)) last = line;
    return last.size() > 13 ? last.substr(13) : last;
}

inline double rms(const qk::sound::CachedSound& s, int channel, std::int32_t from, std::int32_t to) {
    double sum = 0;
    for (std::int32_t f = from; f < to; ++f) {
        const double v = s.samples[2 * static_cast<std::size_t>(f) + static_cast<std::size_t>(channel)];
        sum += v * v;
    }
    return std::sqrt(sum / (to - from));
}

// Rising zero crossings per second on the left channel.
inline double frequency(const qk::sound::CachedSound& s, int rate) {
    int crossings = 0;
    for (std::int32_t f = 1; f < s.frameCount; ++f)
        if (s.samples[2 * static_cast<std::size_t>(f) - 2] < 0 && s.samples[2 * static_cast<std::size_t>(f)] >= 0)
            ++crossings;
    return crossings * static_cast<double>(rate) / s.frameCount;
}

}  // namespace qktest
