// Sound files the sound tests make: WAV written here, other formats encoded from
// it with the ffmpeg tool, and float WAVs (qkhost's master output) read back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qktest {

// A 16-bit PCM WAV; `sample(frame, channel)` in -1..1.
void writeWav16(const std::string& path, int rate, int channels, std::int64_t frames,
                const std::function<double(std::int64_t frame, int channel)>& sample);

// A sine of `hz` at `amplitude` on every channel.
void writeSineWav(const std::string& path, int rate, int channels, double seconds, double hz, double amplitude);

// Encodes `from` into `to` with the ffmpeg tool (the format follows the name);
// `extra` goes before the output name. True on success.
bool encodeWithFfmpeg(const std::string& from, const std::string& to, const std::string& extra = "");

// A path as it stands between the quotes of a JSON string (Windows paths have
// backslashes to escape).
std::string jsonText(const std::string& path);

struct FloatWav {
    int rate = 0;
    int channels = 0;
    std::vector<float> samples;  // interleaved
};
// Reads a 32-bit float WAV as qkhost writes it; empty samples when it cannot.
FloatWav readFloatWav(const std::string& path);

// The RMS of the left channel over `frames` frames from `fromFrame`.
double windowRms(const FloatWav& w, std::size_t fromFrame, std::size_t frames);
// Energy of the left channel at `hz` (Goertzel), relative to the window's energy.
double toneShare(const FloatWav& w, std::size_t fromFrame, std::size_t frames, double hz);

}  // namespace qktest
