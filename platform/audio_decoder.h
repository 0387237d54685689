// Audio-decoder seam: a sound file to interleaved stereo 32-bit float at a rate
// the caller asks for. The steps mirror the failure points the sound board logs:
// opening the file, agreeing on the output format, then reading chunk by chunk.
// One backend per platform (ffmpeg/ on Linux, mediafoundation/ on Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qk::platform {

// A platform result code; 0 is success. Printed by callers as 0x%08lX.
using DecodeCode = std::int32_t;

struct DecodedFormat {
    unsigned rate = 0;      // 0 when the decoder cannot tell
    unsigned channels = 0;  // 0 when the decoder cannot tell
};

// One piece of decoded audio, valid until the next call on the decoder.
struct DecodedChunk {
    const float* samples = nullptr;  // left and right alternating
    std::size_t frames = 0;          // may be 0 (a gap): read again
};

enum class ReadStatus { Chunk, EndOfStream, Failed };

// What the file's own tags say; a member is empty when the file does not say.
struct AudioTags {
    std::string title;
    std::string artist;
};

class AudioDecoder {
public:
    // Opens the file (UTF-8 path) and selects its first audio stream; nothing when
    // the file cannot be opened or is not a media file the platform reads.
    static std::unique_ptr<AudioDecoder> open(const std::string& path);
    virtual ~AudioDecoder() = default;

    // Asks for interleaved stereo float at `rate`. 0, or the platform's code when the
    // first audio stream cannot be delivered that way (or there is none).
    virtual DecodeCode setOutputFormat(int rate) = 0;
    // What the decoder will actually deliver after setOutputFormat.
    virtual DecodedFormat outputFormat() const = 0;
    // The frames the file should give at the output rate, from its header; 0 when
    // it does not say. Only a hint for reserving memory: the file may differ.
    virtual std::int64_t expectedFrames() const { return 0; }
    // The title and artist from the file's tags, read with the header at open().
    virtual AudioTags tags() const { return {}; }
    // Reads the next chunk. On Failed, *code holds the platform's code.
    virtual ReadStatus read(DecodedChunk* chunk, DecodeCode* code) = 0;
};

// Readies the calling thread for decoding while it lives: COM in the multithreaded
// model and Media Foundation on Windows, nothing with FFmpeg. A thread that decodes
// keeps one for its whole life; started() is false when decoding cannot work (every
// open then fails).
class DecodingThread {
public:
    DecodingThread();
    ~DecodingThread();
    DecodingThread(const DecodingThread&) = delete;
    DecodingThread& operator=(const DecodingThread&) = delete;
    bool started() const { return started_; }

private:
    bool started_ = false;
    [[maybe_unused]] bool comStarted_ = false;  // only the Windows backend starts COM
};

// The platform's text for a result code, for people reading a host's messages.
std::string describeDecodeCode(DecodeCode code);

}  // namespace qk::platform
