// The sound tests play the sound board's worker: they decode on the main thread,
// which is readied for decoding once for the whole run (COM and Media Foundation
// on Windows, nothing elsewhere).
#include "platform/audio_decoder.h"

namespace {
const qk::platform::DecodingThread gMainThreadDecodes;
}  // namespace
