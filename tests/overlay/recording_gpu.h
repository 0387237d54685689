// A Gpu double for the overlay's logic: hands out numbered textures, reads every
// pixel it is given (so that a race on the pictures shows up under
// ThreadSanitizer), and records what is alive.
#pragma once

#include <cstdint>
#include <memory>
#include <set>

#include "platform/gpu.h"

namespace qktest {

struct GpuRecord {
    std::set<std::uintptr_t> live;
    int made = 0;
    int released = 0;
    int pipelineReleases = 0;
    std::uint64_t pixelSum = 0;
};

class RecordingGpu final : public qk::platform::Gpu {
public:
    explicit RecordingGpu(std::shared_ptr<GpuRecord> record) : record_(std::move(record)) {}

    qk::platform::GpuTexture makeTextureFromBgra(const std::uint8_t* pixels, std::int32_t width,
                                                 std::int32_t height) override {
        for (std::int64_t i = 0; i < std::int64_t{width} * height * 4; ++i) record_->pixelSum += pixels[i];
        const auto handle = static_cast<std::uintptr_t>(++record_->made);
        record_->live.insert(handle);
        return {handle, width, height};
    }
    void releaseTexture(qk::platform::GpuTexture& texture) override {
        if (!texture.usable()) return;
        record_->live.erase(texture.handle);
        ++record_->released;
        texture = {};
    }
    void releasePipeline() override { ++record_->pipelineReleases; }

private:
    std::shared_ptr<GpuRecord> record_;
};

}  // namespace qktest
