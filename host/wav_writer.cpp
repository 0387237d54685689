#include "host/wav_writer.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <limits>

namespace qkhost {

namespace {
constexpr std::uint32_t kHeaderBytes = 12 + 8 + 18 + 8 + 4 + 8;  // RIFF, fmt (with cbSize), fact, data
constexpr std::int64_t kMaxFrames = (std::numeric_limits<std::uint32_t>::max() - kHeaderBytes) / 8;

// Little-endian fields written one after the other into the fixed-size header.
class HeaderBytes {
public:
    void tag(const char* t) {
        for (int i = 0; i < 4; ++i) bytes_[at_++] = static_cast<unsigned char>(t[i]);
    }
    void u16(std::uint16_t v) {
        bytes_[at_++] = static_cast<unsigned char>(v);
        bytes_[at_++] = static_cast<unsigned char>(v >> 8);
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    const unsigned char* data() const { return bytes_.data(); }
    std::size_t size() const { return at_; }

private:
    std::array<unsigned char, kHeaderBytes> bytes_{};
    std::size_t at_ = 0;
};
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
    HeaderBytes h;
    h.tag("RIFF");
    h.u32(kHeaderBytes - 8 + dataBytes);
    h.tag("WAVE");
    h.tag("fmt ");
    h.u32(18);
    h.u16(3);  // IEEE float
    h.u16(2);
    h.u32(static_cast<std::uint32_t>(rate_));
    h.u32(static_cast<std::uint32_t>(rate_) * 8);
    h.u16(8);
    h.u16(32);
    h.u16(0);
    h.tag("fact");
    h.u32(4);
    h.u32(static_cast<std::uint32_t>(frames_));
    h.tag("data");
    h.u32(dataBytes);
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
