// The sound device through PulseAudio's simple API (also served by PipeWire).
//
// Why this API: its blocking write paces the audio thread in real time by itself;
// it reaches the sound server that Debian desktops run, which mixes us with other
// programs; and on a machine without one it answers "no" at once, which is the
// headless case. A callback library such as PortAudio would add a callback model
// and device lists that the stand-in host has no use for.
#pragma once

#include <memory>
#include <string>

#include "host/audio_sink.h"

namespace qkhost {

// A sink on the default output device, or nothing (the reason in *error) when no
// sound server answers, which is the headless case.
std::unique_ptr<AudioSink> openSoundDevice(int rate, int blockFrames, std::string* error);

}  // namespace qkhost
