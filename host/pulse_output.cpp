#include "host/pulse_output.h"

#include <pulse/error.h>
#include <pulse/simple.h>

namespace qkhost {

namespace {

class PulseOutput final : public AudioSink {
public:
    explicit PulseOutput(pa_simple* stream) : stream_(stream) {}
    ~PulseOutput() override {
        int error = 0;
        pa_simple_drain(stream_, &error);
        pa_simple_free(stream_);
    }
    bool write(const float* samples, int frames) override {
        int error = 0;
        return pa_simple_write(stream_, samples, static_cast<size_t>(frames) * 2 * sizeof(float), &error) == 0;
    }
    bool pacesInRealTime() const override { return true; }

private:
    pa_simple* stream_;
};

}  // namespace

std::unique_ptr<AudioSink> openSoundDevice(int rate, int blockFrames, std::string* error) {
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, static_cast<uint32_t>(rate), 2};
    // A device buffer of four blocks: low latency for the sound board, room enough
    // for a busy machine.
    const auto blockBytes = static_cast<uint32_t>(blockFrames) * 8;
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = blockBytes * 4;
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = blockBytes;
    attr.fragsize = static_cast<uint32_t>(-1);
    int code = 0;
    pa_simple* stream =
        pa_simple_new(nullptr, "qkhost", PA_STREAM_PLAYBACK, nullptr, "master output", &spec, nullptr, &attr, &code);
    if (stream == nullptr) {
        if (error) *error = pa_strerror(code);
        return nullptr;
    }
    return std::make_unique<PulseOutput>(stream);
}

}  // namespace qkhost
