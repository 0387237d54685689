// The eight voices of the sound board and how they are handed between threads.
//
// The state is the only thing that hands a voice over; there is no lock. The
// worker writes a voice's other members only while it is Idle (which the audio
// thread skips) and publishes it by setting Playing last. Once a voice plays, only
// the audio thread writes its position and fade gain, and only the audio thread
// ends it. Fade requests move Playing to Fading with a compare-and-exchange, so a
// voice that the audio thread has just ended stays ended.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace qk::sound {

enum class VoiceState : std::int32_t { Idle = 0, Playing = 1, Fading = 2 };

struct Voice {
    std::atomic<VoiceState> state{VoiceState::Idle};
    const float* samples = nullptr;  // interleaved stereo, owned by the sound cache
    std::int32_t frameCount = 0;
    std::atomic<std::int32_t> position{0};  // next frame to play
    float volume = 1.0f;
    float fadeGain = 1.0f;  // falls to 0 while Fading
    std::string id;         // worker only: stop commands and the state file
};

class Voices {
public:
    static constexpr int kCount = 8;

    // Worker: starts the lowest-numbered Idle voice on the sound; its number, or -1
    // when every voice is busy. A Fading voice is busy.
    int start(const float* samples, std::int32_t frameCount, float volume, const std::string& id);
    // Worker: every Playing voice with this id starts fading; how many did.
    int fadeMatching(const std::string& id);
    // Worker and control thread: every Playing voice starts fading.
    void fadeAll();
    // Control thread, at release: every voice stops at once, without a fade.
    void silenceAll();

    // Audio thread: adds every sounding voice into `frames` interleaved stereo frames.
    // Takes no lock and allocates nothing.
    void mix(float* buffer, int frames, int rate);

    const Voice& operator[](int i) const { return voices_[static_cast<size_t>(i)]; }
    Voice& operator[](int i) { return voices_[static_cast<size_t>(i)]; }

private:
    static bool fade(Voice& v);
    static void mixVoice(Voice& v, float* buffer, int frames, std::int32_t fadeIn, float fadeStep);

    std::array<Voice, kCount> voices_;
};

}  // namespace qk::sound
