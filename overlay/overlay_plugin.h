// QuorvaleOverlay: draws the audience display into the host's video output.
//
// Threads: the host's control thread (OnLoad, OnStart, OnStop, Release), the
// host's render thread (OnDraw, OnDeviceClose) and the poller, which alone reads
// the state files and decodes pictures and hands them over through `state_`.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "kit/log.h"
#include "kit/vdj_plugin.h"
#include "overlay/frame_composer.h"
#include "overlay/overlay_state.h"
#include "overlay/render_textures.h"
#include "overlay/state_poller.h"
#include "platform/gpu.h"
#include "platform/text_canvas.h"

struct OverlayOptions {
    // Make the GPU and text backends on the render thread, at the first frame
    // that has a device.
    std::function<std::unique_ptr<qk::platform::Gpu>()> makeGpu = &qk::platform::Gpu::create;
    std::function<std::unique_ptr<qk::platform::TextEngine>()> makeText = &qk::platform::TextEngine::create;
    qk::overlay::StatePoller::DecoderFactory makeDecoder = &qk::platform::ImageDecoder::create;
    std::chrono::milliseconds pollInterval = qk::overlay::StatePoller::kInterval;
};

class QuorvaleOverlay final : public vdj::VideoFxPlugin {
public:
    explicit QuorvaleOverlay(OverlayOptions options = {});

    vdj::Result VDJ_API OnLoad() override;
    vdj::Result VDJ_API OnGetPluginInfo(vdj::PluginInfo* info) override;
    std::uint32_t VDJ_API Release() override;
    void VDJ_API Destroy() override { delete this; }
    vdj::Result VDJ_API OnStart() override;
    vdj::Result VDJ_API OnStop() override;
    vdj::Result VDJ_API OnDraw() override;
    vdj::Result VDJ_API OnDeviceClose() override;

    // For inspection: the data folder (empty without one), the handed-over state,
    // whether the poller runs, and the render thread's textures.
    const std::string& dataFolder() const { return qkDir_; }
    qk::overlay::OverlayState& state() { return state_; }
    bool pollerRunning() const { return poller_ != nullptr && poller_->running(); }
    const qk::overlay::RenderTextures& textures() const { return textures_; }
    const qk::overlay::FrameComposer& composer() const { return composer_; }

private:
    ~QuorvaleOverlay();
    void stopPoller();
    void noteDrawFailure(const char* what);

    const OverlayOptions options_;

    // Written once by OnLoad, before the poller exists.
    std::string qkDir_;
    qk::LogFile log_;

    qk::overlay::OverlayState state_;
    std::unique_ptr<qk::overlay::StatePoller> poller_;

    // Render thread.
    std::unique_ptr<qk::platform::Gpu> gpu_;
    std::unique_ptr<qk::platform::TextEngine> text_;
    qk::overlay::PipelineKeeper pipeline_;
    qk::overlay::RenderTextures textures_;
    qk::overlay::FrameComposer composer_;
    bool firstDrawLogged_ = false;
    bool drawFailureLogged_ = false;
    double lastFrameTime_ = 0;                  // 0 = no frame since the start
    std::atomic<std::int32_t> frameCount_{0};   // counted by OnDraw, logged by OnStop
    std::atomic<bool> restartRequested_{true};  // raised by OnStart, taken by OnDraw
};
