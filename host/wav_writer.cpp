#include "host/wav_writer.h"

#include <cstring>
#include <limits>
#include <vector>

namespace qkhost {

namespace {
constexpr std::uint32_t kHeaderBytes = 12 + 8 + 18 + 8 + 4 + 8;  // RIFF, fmt (with cbSize), fact, data
constexpr std::int64_t kMaxFrames = (std::numeric_limits<std::uint32_t>::max() - kHeaderBytes) / 8;

void put16(std::vector<unsigned char>& b, std::uint16_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
void put32(std::vector<unsigned char>& b, std::uint32_t v) {
    put16(b, static_cast<std::uint16_t>(v));
    put16(b, static_cast<std::uint16_t>(v >> 16));
}
void putTag(std::vector<unsigned char>& b, const char* tag) {
    b.insert(b.end(), tag, tag + 4);
}
}  // namespace

std::unique_ptr<WavWriter> WavWriter::create(const std::string& path, int rate, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        if (error) *error = std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<WavWriter> w(new WavWriter(f, path, rate));
    if (!w->writeHeader()) {
        if (error) *error = "cannot write the header";
        return nullptr;
    }
    return w;
}

WavWriter::~WavWriter() {
    close();
}

bool WavWriter::writeHeader() {
    const auto dataBytes = static_cast<std::uint32_t>(frames_ * 8);
    std::vector<unsigned char> h;
    putTag(h, "RIFF");
    put32(h, kHeaderBytes - 8 + dataBytes);
    putTag(h, "WAVE");
    putTag(h, "fmt ");
    put32(h, 18);
    put16(h, 3);  // IEEE float
    put16(h, 2);
    put32(h, static_cast<std::uint32_t>(rate_));
    put32(h, static_cast<std::uint32_t>(rate_) * 8);
    put16(h, 8);
    put16(h, 32);
    put16(h, 0);
    putTag(h, "fact");
    put32(h, 4);
    put32(h, static_cast<std::uint32_t>(frames_));
    putTag(h, "data");
    put32(h, dataBytes);
    return std::fseek(file_, 0, SEEK_SET) == 0 && std::fwrite(h.data(), 1, h.size(), file_) == h.size();
}

bool WavWriter::write(const float* samples, int frames) {
    if (file_ == nullptr || frames <= 0) return file_ != nullptr;
    if (frames_ + frames > kMaxFrames) return false;  // a WAV file ends at 4 GiB
    const auto n = static_cast<size_t>(frames) * 2;
    if (std::fwrite(samples, sizeof(float), n, file_) != n) return false;
    frames_ += frames;
    return true;
}

bool WavWriter::close() {
    if (file_ == nullptr) return true;
    const bool ok = writeHeader();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok && closed;
}

}  // namespace qkhost
