// "sound-state.json": what the sound board is playing, for the page to read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sound/voices.h"

namespace qk::sound {

struct ActiveSound {
    std::string id;
    std::int64_t remainingMs = 0;
};

// One entry per Playing voice with an id, in voice order. Fading voices are gone
// as far as the page is concerned.
std::vector<ActiveSound> listActiveSounds(const Voices& voices, int rate);

// "2:a,b," for ids a and b: tells whether the list changed since the last write.
std::string stateSignature(const std::vector<ActiveSound>& active);

// The file's bytes: compact, members in key order, non-ASCII unescaped, no final
// line feed. `unixMillis` is cut to whole seconds.
std::string stateFileText(const std::vector<ActiveSound>& active, std::int64_t unixMillis);

// Replaces the file whole: the bytes go to a new "qks" file in the same folder,
// which is then renamed over the target, so a reader sees the old content or the
// new, never a part. False when any step fails; the temporary file is removed.
bool replaceFileWhole(const std::string& path, std::string_view bytes);

}  // namespace qk::sound
