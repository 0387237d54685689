// A host built without a sound-device backend (Windows so far): the master
// output goes to the WAV file only.
#include "host/pulse_output.h"

namespace qkhost {

std::unique_ptr<AudioSink> openSoundDevice(int, int, std::string* error) {
    if (error) *error = "this build has no sound-device backend";
    return nullptr;
}

}  // namespace qkhost
