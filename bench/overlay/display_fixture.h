// An evening's audience document and a display drawing it with the platform's
// real GPU and text backends on the host's device, for the overlay's frame
// measures (the benchmarks here, and the frame timing that runs on Windows too).
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "kit/log.h"
#include "overlay/frame_composer.h"

namespace qk::overlay::bench {

constexpr float kW = 1920, kH = 1080;

// What the host's GetDevice answered on the render thread, where every measure runs.
inline void* hostDevice = nullptr;

inline std::string evening(bool playing) {
    std::string rotation;
    for (int i = 0; i < 12; ++i)
        rotation += std::string(i ? "," : "") + R"({"singer":"Singer number )" + std::to_string(i) +
                    R"(","title":"A song title of some length","isNew":)" + (i % 3 ? "false" : "true") +
                    R"(,"wait":"~)" + std::to_string(4 * i) + R"( min"})";
    return std::string(R"({"renderer":"pipeline","visible":true,"isPlaying":)") + (playing ? "true" : "false") +
           R"(,"title":"Karaoke Night","venue":"The Venue","message":"Two-for-one until ten!","firstEmoji":"\u2B50",
           "current":{"singer":"Alice","title":"Dancing Queen","isNew":true},
           "next":[{"singer":"Bob","wait":"~4 min"},{"singer":"Chen","needsSong":true}],
           "qr":{"url":"https://example.invalid/request","label":"Scan to sign up"},
           "dance":{"cta":"Everybody on the floor!","title":"September","artist":"Earth, Wind & Fire","anims":["pulse"]},
           "appearance":{"enabled":true,"color":"#1b1f2a"},"rotation":[)" +
           rotation + "]}";
}

struct Display {
    std::unique_ptr<qk::platform::Gpu> gpu = qk::platform::Gpu::create();
    std::unique_ptr<qk::platform::TextEngine> text = qk::platform::TextEngine::create();
    OverlayState state;
    RenderTextures textures;
    FrameComposer composer;
    qk::LogFile log;
    std::shared_ptr<const AudienceSnapshot> snapshot;

    explicit Display(bool playing) {
        gpu->useDevice(hostDevice);
        std::string failure;
        if (!gpu->buildPipeline(&failure)) std::fprintf(stderr, "%s\n", failure.c_str());
        snapshot = std::make_shared<AudienceSnapshot>(qk::Json::parse(evening(playing)));
        state.stateDirty = true;
    }
    void frame(double t, double dt) {
        TakenStateChange change(state.stateDirty);
        composer.draw(*gpu, *text, state, *snapshot, change, textures, log, kW, kH, t, dt);
    }
    ~Display() {
        textures.releaseAll(*gpu);
        gpu->releasePipeline();
    }
};

}  // namespace qk::overlay::bench
