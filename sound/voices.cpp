#include "sound/voices.h"

#include <algorithm>

#include "sound/sound_rate.h"

namespace qk::sound {

namespace {

// The steady part of a sound: one gain for the whole run, so both channels of every
// frame are a plain multiply-add that the compiler vectorises. Where the processor
// has 8-wide vectors a second copy uses them; the sums are the same either way (a
// multiply then an add, each rounded, in the same order).
// (Not under ThreadSanitizer: the copy is picked by a resolver that runs while the
// library is relocated, before the sanitizer's runtime is ready for instrumented code.)
#if defined(__GNUC__) && defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_THREAD__)
__attribute__((target_clones("avx2", "default")))
#endif
void addScaled(float* __restrict out, const float* __restrict in, std::size_t count, float gain) {
    for (std::size_t i = 0; i < count; ++i) out[i] += gain * in[i];
}

}  // namespace

int Voices::start(const float* samples, std::int32_t frameCount, float volume, const std::string& id) {
    for (int i = 0; i < kCount; ++i) {
        Voice& v = voices_[static_cast<size_t>(i)];
        if (v.state.load() != VoiceState::Idle) continue;
        v.samples = samples;
        v.frameCount = frameCount;
        v.position.store(0, std::memory_order_relaxed);
        v.volume = volume;
        v.fadeGain = 1.0f;
        v.id = id;
        v.state.exchange(VoiceState::Playing);  // publishes everything above
        return i;
    }
    return -1;
}

bool Voices::fade(Voice& v) {
    // Only a Playing voice may start fading. Had we read Playing and then exchanged,
    // an audio block that ended the voice in between would be undone: the voice
    // would sound again from the start of its last block.
    VoiceState expected = VoiceState::Playing;
    return v.state.compare_exchange_strong(expected, VoiceState::Fading);
}

int Voices::fadeMatching(const std::string& id) {
    int n = 0;
    for (Voice& v : voices_)
        if (v.id == id && fade(v)) ++n;
    return n;
}

void Voices::fadeAll() {
    for (Voice& v : voices_) fade(v);
}

void Voices::silenceAll() {
    for (Voice& v : voices_) v.state.exchange(VoiceState::Idle);
}

void Voices::mix(float* buffer, int frames, int rate) {
    if (buffer == nullptr || frames <= 0) return;
    const std::int32_t fadeIn = fadeInLength(rate);
    const float fadeStep = fadeOutStep(rate);
    for (Voice& v : voices_) mixVoice(v, buffer, frames, fadeIn, fadeStep);
}

void Voices::mixVoice(Voice& v, float* buffer, int frames, std::int32_t fadeIn, float fadeStep) {
    const VoiceState state = v.state.load(std::memory_order_acquire);  // once per block
    if (state == VoiceState::Idle) return;
    const std::int32_t pos = v.position.load(std::memory_order_relaxed);
    if (v.samples == nullptr || pos < 0 || pos >= v.frameCount) {
        v.state.store(VoiceState::Idle, std::memory_order_release);
        return;
    }
    std::int32_t n = std::min<std::int32_t>(frames, v.frameCount - pos);
    const float* src = v.samples + 2 * static_cast<std::size_t>(pos);
    const float rampDivisor = static_cast<float>(fadeIn);
    float fadeGain = v.fadeGain;

    if (state == VoiceState::Fading) {
        // Each frame's gain depends on the one before, so this stays a plain loop;
        // it runs for at most one fade-out per sound.
        for (std::int32_t j = 0; j < n; ++j) {
            const std::int32_t p = pos + j;
            float gain = fadeGain * v.volume;
            if (p < fadeIn) gain = gain * (static_cast<float>(p) / rampDivisor);
            buffer[2 * j] += gain * src[2 * j];
            buffer[2 * j + 1] += gain * src[2 * j + 1];
            fadeGain -= fadeStep;
            if (fadeGain <= 0.0f) {
                fadeGain = 0.0f;
                n = j + 1;
                break;
            }
        }
        v.fadeGain = fadeGain;
    } else {
        const float gain = fadeGain * v.volume;
        const std::int32_t rampEnd = std::clamp<std::int32_t>(fadeIn - pos, 0, n);
        for (std::int32_t j = 0; j < rampEnd; ++j) {
            const float g = gain * (static_cast<float>(pos + j) / rampDivisor);
            buffer[2 * j] += g * src[2 * j];
            buffer[2 * j + 1] += g * src[2 * j + 1];
        }
        const auto done = 2 * static_cast<std::size_t>(rampEnd);
        addScaled(buffer + done, src + done, 2 * static_cast<std::size_t>(n) - done, gain);
    }

    const std::int32_t next = pos + n;
    if (next >= v.frameCount || (state == VoiceState::Fading && fadeGain <= 0.0f))
        v.state.store(VoiceState::Idle, std::memory_order_release);  // the position stays as it was
    else
        v.position.store(next, std::memory_order_relaxed);
}

}  // namespace qk::sound
