// The rate the sound board works at, and the fade lengths derived from it.
#pragma once

#include <cmath>
#include <cstdint>

namespace qk::sound {

// The engine's rate when the host gave a usable one, else 44100. Read at each use:
// the host may change its rate while the plug-in lives.
inline int effectiveRate(std::int32_t engineRate) {
    return engineRate > 8000 ? engineRate : 44100;
}

// Frames of fade-in at the start of every sound: 1 + floor(R * 0.005f). The factor is
// a single-precision constant and the product a double, so exact products fall
// just short: 221 at 44100, 240 at 48000, 160 (not 161) at 32000.
inline std::int32_t fadeInLength(int rate) {
    return 1 + static_cast<std::int32_t>(std::floor(static_cast<double>(rate) * static_cast<double>(0.005f)));
}

// Fade-gain decrement per frame while fading: 1 / float(R * 0.04f). About 40 ms from
// full gain: 1764 frames at 44100; 1921 at 48000, where rounding needs one more step.
inline float fadeOutStep(int rate) {
    return 1.0f / static_cast<float>(static_cast<double>(rate) * static_cast<double>(0.04f));
}

}  // namespace qk::sound
