#include "host/track.h"

#include <cstdio>

#include "platform/audio_decoder.h"

namespace qkhost {

std::unique_ptr<Track> decodeTrack(const std::string& path, int rate, std::string* error) {
    auto decoder = qk::platform::AudioDecoder::open(path);
    if (!decoder) {
        *error = "cannot open it as audio";
        return nullptr;
    }
    if (const auto code = decoder->setOutputFormat(rate); code != 0) {
        *error = qk::platform::describeDecodeCode(code);
        return nullptr;
    }
    auto track = std::make_unique<Track>();
    track->path = path;
    track->rate = rate;
    // The header's length is a hint only; a little headroom saves the last regrowth.
    if (const std::int64_t expected = decoder->expectedFrames(); expected > 0)
        track->samples.reserve(static_cast<std::size_t>(expected + rate / 10) * 2);
    for (;;) {
        qk::platform::DecodedChunk chunk;
        qk::platform::DecodeCode code = 0;
        const auto status = decoder->read(&chunk, &code);
        if (status == qk::platform::ReadStatus::EndOfStream) break;
        if (status == qk::platform::ReadStatus::Failed) {
            std::fprintf(stderr, "qkhost: %s: %s; playing what was read\n", path.c_str(),
                         qk::platform::describeDecodeCode(code).c_str());
            break;
        }
        track->samples.insert(track->samples.end(), chunk.samples, chunk.samples + 2 * chunk.frames);
    }
    track->samples.shrink_to_fit();
    track->frames = static_cast<std::int64_t>(track->samples.size() / 2);

    const qk::platform::AudioTags tags = decoder->tags();
    nameFromFile(path, &track->title, &track->artist);
    if (!tags.title.empty()) {
        // Tags win as a pair: a tagged title with no artist keeps the artist empty
        // rather than borrowing half of the file name.
        track->title = tags.title;
        track->artist = tags.artist;
    }
    return track;
}

void nameFromFile(const std::string& path, std::string* title, std::string* artist) {
    const std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (const std::size_t dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) name.resize(dot);
    artist->clear();
    const std::size_t dash = name.find(" - ");
    if (dash != std::string::npos && dash > 0 && dash + 3 < name.size()) {
        *artist = name.substr(0, dash);
        *title = name.substr(dash + 3);
    } else {
        *title = name;
    }
}

}  // namespace qkhost
