// A song as a deck plays it: the whole file decoded into memory at the engine's
// rate, with what the host tells about it (path, title, artist).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qkhost {

struct Track {
    std::string path;
    std::string title;
    std::string artist;
    int rate = 0;
    std::int64_t frames = 0;
    std::vector<float> samples;    // interleaved stereo, 2 * frames values
    std::uint32_t generation = 0;  // set by the deck that takes it (see Deck)
};

// Decodes the whole file through the audio decoder, resampled to `rate` stereo.
// Slow for a long song: call it on a control thread, never the audio thread.
// Nothing (and the reason in *error) when the file is not audio the platform reads;
// a file damaged half-way keeps what was read before the damage.
std::unique_ptr<Track> decodeTrack(const std::string& path, int rate, std::string* error);

// Title and artist from the file name when the tags say nothing: "Artist - Title.ext"
// gives both, any other name is the title (without its extension).
void nameFromFile(const std::string& path, std::string* title, std::string* artist);

}  // namespace qkhost
