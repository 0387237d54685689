// Decoded sounds, kept for the plug-in's life so a sound played again starts at once.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kit/log.h"
#include "platform/audio_decoder.h"

namespace qk::sound {

struct CachedSound {
    std::vector<float> samples;   // interleaved stereo at the rate it was decoded at
    std::int32_t frameCount = 0;  // above 0
};

// Three minutes of sound at most.
inline constexpr std::int64_t kMaxSoundSeconds = 180;

class SoundCache {
public:
    using DecoderOpener = std::function<std::unique_ptr<platform::AudioDecoder>(const std::string& path)>;

    // `log` must outlive the cache. `open` defaults to the platform's decoder.
    explicit SoundCache(const LogFile& log, DecoderOpener open = &platform::AudioDecoder::open);

    // The sound for a path (exactly as given; a different spelling is a different
    // entry), decoded at `rate` the first time; nothing when it cannot be decoded.
    // A failed path is not remembered. Entries are never removed or replaced and
    // their samples never move, so voices may refer to them until the cache dies.
    const CachedSound* loadSound(const std::string& path, int rate);

    std::size_t size() const { return sounds_.size(); }

private:
    const LogFile& log_;
    DecoderOpener open_;
    std::map<std::string, CachedSound> sounds_;
};

// The name a sound goes by in the log: the path after its last separator.
std::string soundDisplayName(const std::string& path);

// Whether a path is absolute in the platform's form. With '/' as the separator
// it starts with one; with a backslash it starts with a drive letter, a colon and
// the separator, or with two separators and a server name. The device spaces
// (two separators then "." or "?") do not count: they name pipes and devices.
bool isAbsoluteLocalPath(const std::string& path, char separator);

// Whether a play command's path may go to the decoder at all: an absolute local
// path naming an existing regular file. Anything else (a relative path, a folder,
// a pipe, a device, a socket, or a text a decoder would take as a URL or stream
// name) could make the decoder wait on another program, read someone else's
// descriptors or open a connection, so it is refused before any decoder sees it.
bool isPlayableSoundPath(const std::string& path);

}  // namespace qk::sound
