// qkhost's video side: a render thread with an OpenGL 3.3 core context (EGL,
// surfaceless when headless) that draws the deck picture (a background image or a
// test card) and then lets every video-effect plug-in draw over it, once per frame.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kit/vdj_plugin.h"

namespace qkhost {

struct RenderOptions {
    int width = 1920;
    int height = 1080;
    double fps = 30;
    std::string background;     // a PNG drawn as the deck picture; a test card when empty
    std::string framesDir;      // where captured frames go (frame-000123.png)
    int captureEvery = 0;       // capture every N-th frame; 0 for none
    std::vector<double> captureAt;  // and at these times in seconds from the start
    int maxFrames = 0;          // stop after this many frames; 0 runs until stop()
    bool showWindow = false;    // also show the output in a window on the X display, when there is one
    // Keys 1 to 4 pressed in that window: the DJ host's pad buttons. Called on
    // the render thread; the receiver hands the press to the UI thread.
    std::function<void(int button)> onPadKey;
};

class RenderEngine {
public:
    explicit RenderEngine(RenderOptions options);
    ~RenderEngine();  // stops the thread

    // The services each video-effect plug-in gets in its `video` member before OnLoad.
    vdj::VideoHostServices* services();

    // Starts the render thread; the plug-ins' OnDraw run on it, in this order.
    // False (with the reason in *error) when no OpenGL 3.3 core context can be made.
    bool start(std::vector<vdj::VideoFxPlugin*> plugins, std::string* error);
    // Stops drawing, calls OnDeviceClose of each plug-in on the render thread,
    // destroys the context and joins the thread.
    void stop();
    // Blocks until the thread ended by itself (maxFrames) or stop() was called.
    void wait();

    int framesDrawn() const { return frames_.load(); }
    // Frames whose drawing ended after the frame's time had passed.
    int framesLate() const { return late_.load(); }
    std::vector<std::string> capturedFrames() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
    std::atomic<int> frames_{0};
    std::atomic<int> late_{0};
};

}  // namespace qkhost
