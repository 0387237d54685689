// A Gpu double for the overlay's logic: hands out numbered textures, reads every
// pixel it is given (so that a race on the pictures shows up under
// ThreadSanitizer), records what is alive and every quad drawn.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/gpu.h"

namespace qktest {

struct RecordedQuad {
    float x, y, w, h;
    std::uintptr_t texture;  // 0 for a solid fill
    qk::platform::Rgba color;
};

struct GpuRecord {
    std::set<std::uintptr_t> live;
    int made = 0;
    int released = 0;
    int pipelineBuilds = 0;
    int pipelineReleases = 0;
    int saves = 0, restores = 0;
    const void* device = nullptr;  // the device at hand
    bool throwOnDraw = false;
    std::string failNextBuild;  // the failure line of the next build; empty to succeed
    bool refuseTextures = false;
    std::uint64_t pixelSum = 0;
    std::vector<RecordedQuad> quads;
};

class RecordingGpu final : public qk::platform::Gpu {
public:
    explicit RecordingGpu(std::shared_ptr<GpuRecord> record) : record_(std::move(record)) {}

    void useDevice(const void* device) override { record_->device = device; }
    bool buildPipeline(std::string* failure) override {
        ++record_->pipelineBuilds;
        if (record_->failNextBuild.empty()) return true;
        *failure = record_->failNextBuild;
        record_->failNextBuild.clear();
        return false;
    }
    void releasePipeline() override { ++record_->pipelineReleases; }
    void saveState() override { ++record_->saves; }
    void restoreState() override { ++record_->restores; }
    void drawQuad(float, float, float x, float y, float w, float h, const qk::platform::GpuTexture* texture,
                  qk::platform::Rgba color) override {
        if (record_->throwOnDraw) throw std::runtime_error("draw refused");
        record_->quads.push_back({x, y, w, h, texture ? texture->handle : 0, color});
    }
    qk::platform::GpuTexture makeTextureFromBgra(const std::uint8_t* pixels, std::int32_t width,
                                                 std::int32_t height) override {
        for (std::int64_t i = 0; i < std::int64_t{width} * height * 4; ++i) record_->pixelSum += pixels[i];
        if (record_->refuseTextures) return {};
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

private:
    std::shared_ptr<GpuRecord> record_;
};

}  // namespace qktest

namespace qktest {

// Video services that hand out one made-up device, as a host's render thread would.
class FakeVideo final : public vdj::VideoHostServices {
public:
    int device = 0;
    void* answer = &device;  // the device handed out
    vdj::Result VDJ_API DrawDeck() override { return vdj::kOk; }
    vdj::Result VDJ_API GetDevice(vdj::VideoEngine kind, void** out) override {
        *out = kind == qk::platform::kHostVideoEngine ? answer : nullptr;
        return *out ? vdj::kOk : vdj::kNotImplemented;
    }
    vdj::Result VDJ_API GetTexture(vdj::VideoEngine, void**, vdj::Vertex**) override { return vdj::kNotImplemented; }
};

}  // namespace qktest
