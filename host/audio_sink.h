// Where the master output goes: the sound device, a WAV file, or both.
#pragma once

namespace qkhost {

class AudioSink {
public:
    virtual ~AudioSink() = default;
    // Takes `frames` interleaved stereo float frames. False when the sink broke.
    virtual bool write(const float* samples, int frames) = 0;
    // True when write() blocks until the device wants more, which then paces the
    // audio thread in real time.
    virtual bool pacesInRealTime() const = 0;
};

}  // namespace qkhost
