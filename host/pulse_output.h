// The sound device through PulseAudio's simple API (also served by PipeWire).
#pragma once

#include <memory>
#include <string>

#include "host/audio_sink.h"

namespace qkhost {

// A sink on the default output device, or nothing (the reason in *error) when no
// sound server answers, which is the headless case.
std::unique_ptr<AudioSink> openSoundDevice(int rate, int blockFrames, std::string* error);

}  // namespace qkhost
