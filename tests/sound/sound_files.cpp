#include "tests/sound/sound_files.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/support/run_command.h"

namespace qktest {

namespace {
void put(std::string& b, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
std::uint32_t get(const std::string& b, size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
    return v;
}
}  // namespace

void writeWav16(const std::string& path, int rate, int channels, std::int64_t frames,
                const std::function<double(std::int64_t, int)>& sample) {
    const auto dataBytes = static_cast<std::uint32_t>(frames * channels * 2);
    std::string b = "RIFF";
    put(b, 36 + dataBytes, 4);
    b += "WAVEfmt ";
    put(b, 16, 4);
    put(b, 1, 2);
    put(b, static_cast<std::uint32_t>(channels), 2);
    put(b, static_cast<std::uint32_t>(rate), 4);
    put(b, static_cast<std::uint32_t>(rate * channels * 2), 4);
    put(b, static_cast<std::uint32_t>(channels * 2), 2);
    put(b, 16, 2);
    b += "data";
    put(b, dataBytes, 4);
    b.reserve(b.size() + dataBytes);
    for (std::int64_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) {
            const double v = std::clamp(sample(f, c), -1.0, 1.0);
            put(b, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v * 32767.0))), 2);
        }
    std::ofstream(path, std::ios::binary).write(b.data(), static_cast<std::streamsize>(b.size()));
}

void writeSineWav(const std::string& path, int rate, int channels, double seconds, double hz, double amplitude) {
    writeWav16(path, rate, channels, static_cast<std::int64_t>(seconds * rate), [&](std::int64_t f, int) {
        return amplitude * std::sin(2.0 * M_PI * hz * static_cast<double>(f) / rate);
    });
}

bool encodeWithFfmpeg(const std::string& from, const std::string& to, const std::string& extra) {
    const auto r = runCommand("ffmpeg -nostdin -v error -y -i '" + from + "' " + extra + " '" + to + "' 2>&1");
    return r.exitCode == 0;
}

std::string jsonText(const std::string& path) {
    std::string out;
    for (const char c : path) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

FloatWav readFloatWav(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    FloatWav w;
    if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) return w;
    size_t at = 12;
    while (at + 8 <= b.size()) {
        const std::string tag = b.substr(at, 4);
        const std::uint32_t size = get(b, at + 4, 4);
        const size_t body = at + 8;
        if (tag == "fmt ") {
            if (get(b, body, 2) != 3 || get(b, body + 14, 2) != 32) return w;
            w.channels = static_cast<int>(get(b, body + 2, 2));
            w.rate = static_cast<int>(get(b, body + 4, 4));
        } else if (tag == "data") {
            const size_t bytes = std::min<size_t>(size, b.size() - body) / 4 * 4;
            w.samples.resize(bytes / 4);
            std::memcpy(w.samples.data(), b.data() + body, bytes);
            return w;
        }
        at = body + size + (size & 1);
    }
    return w;
}

double windowRms(const FloatWav& w, std::size_t fromFrame, std::size_t frames) {
    double sum = 0;
    for (size_t f = fromFrame; f < fromFrame + frames; ++f) sum += double(w.samples[2 * f]) * w.samples[2 * f];
    return std::sqrt(sum / static_cast<double>(frames));
}

double toneShare(const FloatWav& w, std::size_t fromFrame, std::size_t frames, double hz) {
    const double k = 2 * std::cos(2 * M_PI * hz / w.rate);
    double s1 = 0, s2 = 0, energy = 0;
    for (size_t f = fromFrame; f < fromFrame + frames; ++f) {
        const double x = w.samples[2 * f];
        const double s = x + k * s1 - s2;
        s2 = s1;
        s1 = s;
        energy += x * x;
    }
    const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
    return 2 * power / (static_cast<double>(frames) * energy);
}

}  // namespace qktest
