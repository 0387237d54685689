#include "overlay/overlay_plugin.h"

#include <algorithm>
#include <exception>

#include "kit/author.h"
#include "kit/data_folder.h"
#include "platform/clock.h"

namespace {
constexpr const char* kLogName = "overlay.log";
}

QuorvaleOverlay::QuorvaleOverlay(OverlayOptions options) : options_(std::move(options)) {}

QuorvaleOverlay::~QuorvaleOverlay() {
    stopPoller();
    if (gpu_) {
        // Not the render thread: the device's objects go with the device.
        gpu_->useDevice(nullptr);
        textures_.releaseAll(*gpu_);
        gpu_->releasePipeline();
    }
}

vdj::Result QuorvaleOverlay::OnLoad() {
    try {
        stopPoller();  // a poller of an earlier load must not log while the log changes
        qkDir_ = qk::resolveDataFolder(host, kLogName);
        // Without a folder every path stays empty: nothing is logged, no poller
        // starts, and since no document is ever accepted nothing is drawn.
        if (qkDir_.empty()) return vdj::kOk;
        log_ = qk::LogFile::companion(qk::joinDataPath(qkDir_, kLogName));
        qk::overlay::StateFilePaths paths{
            qk::joinDataPath(qkDir_, "audience.json"), qk::joinDataPath(qkDir_, "audience-assets.json"),
            qk::joinDataPath(qkDir_, "audience-slides.json"), qk::joinDataPath(qkDir_, "dance-graphics.json")};
        poller_ = std::make_unique<qk::overlay::StatePoller>(state_, std::move(paths), log_, options_.makeDecoder,
                                                             options_.pollInterval);
        log_.logLine("===== OnLoad (QuorvaleOverlay W3b) - qkDir=%s =====", qkDir_.c_str());
    } catch (const std::exception& e) {
        log_.logLine("OnLoad failed: %s", e.what());
    }
    return vdj::kOk;
}

vdj::Result QuorvaleOverlay::OnGetPluginInfo(vdj::PluginInfo* info) {
    if (info == nullptr) return vdj::kOk;
    info->name = "QuorvaleOverlay";
    info->author = qk::kCompanionAuthor;
    info->description =
        "QuorvaleKaraoke audience overlay rendered directly in the video output (ticker + idle screen). Driven by "
        "QuorvaleKaraoke/audience.json.";
    info->version = "1.6.0";
    info->picture = nullptr;
    info->flags = 0x50000;
    return vdj::kOk;
}

vdj::Result QuorvaleOverlay::OnStart() {
    // The first frame after a start has no time step, so it shows its targets at
    // once. The render thread's members are reset by the next frame itself: a
    // frame may be drawing right now.
    frameCount_.store(0);
    restartRequested_.store(true);
    try {
        if (poller_ && !poller_->running() && poller_->start())
            log_.logLine("polling %s", qk::joinDataPath(qkDir_, "audience.json").c_str());
    } catch (const std::exception& e) {
        log_.logLine("OnStart failed: %s", e.what());
    }
    log_.logLine("OnStart");
    return vdj::kOk;
}

vdj::Result QuorvaleOverlay::OnStop() {
    log_.logLine("OnStop after %ld frames", static_cast<long>(frameCount_.load()));
    stopPoller();
    return vdj::kOk;
}

std::uint32_t QuorvaleOverlay::Release() {
    stopPoller();
    Destroy();
    return 0;
}

void QuorvaleOverlay::stopPoller() {
    if (poller_) poller_->stop();
}

vdj::Result QuorvaleOverlay::OnDraw() {
    try {
        frameCount_.fetch_add(1, std::memory_order_relaxed);
        if (restartRequested_.exchange(false)) {
            firstDrawLogged_ = false;
            drawFailureLogged_ = false;
            lastFrameTime_ = 0;
            composer_.restart();
        }
        const double t = qk::platform::monotonicSeconds();
        const double dt = lastFrameTime_ > 0 ? std::clamp(t - lastFrameTime_, 0.0, 0.2) : 0.0;
        lastFrameTime_ = t;

        void* device = nullptr;
        if (video == nullptr || video->GetDevice(qk::platform::kHostVideoEngine, &device) != vdj::kOk ||
            device == nullptr) {
            // One flag serves both first lines: after a start only one is written.
            if (!firstDrawLogged_) log_.logLine("GetDevice(DirectX11) FAILED");
            firstDrawLogged_ = true;
            return vdj::kOk;
        }
        if (!firstDrawLogged_) log_.logLine("first OnDraw %dx%d", static_cast<int>(width), static_cast<int>(height));
        firstDrawLogged_ = true;

        if (!gpu_ && options_.makeGpu) gpu_ = options_.makeGpu();
        if (!gpu_) return vdj::kOk;
        gpu_->useDevice(device);
        if (pipeline_.deviceChanged(device)) {
            // Textures belong to the device that made them: start afresh on the new one.
            textures_.releaseAll(*gpu_);
            composer_.deviceClosed();
        }
        if (!pipeline_.ensure(*gpu_, device, log_)) return vdj::kOk;
        // The change flag first, then one reference to the document for the
        // whole frame: the poller may publish the next one meanwhile, which
        // raises the flag again for the next frame.
        qk::overlay::TakenStateChange change(state_.stateDirty);
        const qk::overlay::AudienceSnapshotPtr snapshot = state_.snapshot();
        if (!snapshot) return vdj::kOk;  // nothing accepted yet
        if (!text_ && options_.makeText) {
            text_ = options_.makeText();
            // The text backend's own lines (a stand-in font family, a failed drawing device).
            if (text_)
                text_->setNoticeSink([this](std::string_view line) {
                    log_.logLine("%.*s", static_cast<int>(line.size()), line.data());
                });
        }
        if (!text_) return vdj::kOk;
        composer_.draw(*gpu_, *text_, state_, *snapshot, change, textures_, log_, static_cast<float>(width),
                       static_cast<float>(height), t, dt);
    } catch (const std::exception& e) {
        noteDrawFailure(e.what());
    } catch (...) {
        noteDrawFailure("unknown error");
    }
    return vdj::kOk;
}

void QuorvaleOverlay::noteDrawFailure(const char* what) {
    // Once per start: a failure that repeats every frame would flood the log.
    if (!drawFailureLogged_) log_.logLine("OnDraw failed: %s", what);
    drawFailureLogged_ = true;
}

vdj::Result QuorvaleOverlay::OnDeviceClose() {
    log_.logLine("OnDeviceClose");
    // The decoded pictures and the document stay; the next frame makes every
    // texture again for whatever device it gets.
    if (gpu_) {
        // The device is still at hand here, for the last time.
        textures_.releaseAll(*gpu_);
        pipeline_.deviceClosed(*gpu_);
        gpu_->useDevice(nullptr);
    }
    composer_.deviceClosed();
    return vdj::kOk;
}
