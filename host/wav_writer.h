// A 32-bit float stereo WAV file: the master output exactly as the plug-ins left it
// (values above 1.0 stay above 1.0).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "host/audio_sink.h"

namespace qkhost {

class WavWriter final : public AudioSink {
public:
    // Nothing, with the reason in *error, when the file cannot be created.
    static std::unique_ptr<WavWriter> create(const std::string& path, int rate, std::string* error);
    ~WavWriter() override;

    bool write(const float* samples, int frames) override;
    bool pacesInRealTime() const override { return false; }
    // Writes the final sizes into the header and closes the file.
    bool close();

    const std::string& path() const { return path_; }
    std::int64_t frames() const { return frames_; }

private:
    WavWriter(std::FILE* file, std::string path, int rate) : file_(file), path_(std::move(path)), rate_(rate) {}
    bool writeHeader();

    std::FILE* file_;
    std::string path_;
    int rate_;
    std::int64_t frames_ = 0;
};

}  // namespace qkhost
