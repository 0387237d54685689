// The audience display drawn by the built QuorvaleOverlay module inside qkhost's
// render thread, whatever the graphics API: the documents each scene writes,
// and what a viewer must see in the captured frame. The OpenGL and the
// Direct3D 11 display tests run the same scenes with the same expectations.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "kit/vdj_plugin.h"
#include "tests/support/frame_picture.h"
#include "tests/support/temp_dir.h"

namespace qktest::display {

// Stands between the host and the overlay, to look at the host's state around
// the overlay's OnDraw.
class AroundOverlay : public vdj::VideoFxPlugin {
public:
    vdj::VideoFxPlugin* overlay = nullptr;
    int width = 0, height = 0;
    void VDJ_API Destroy() override {}
    vdj::Result VDJ_API OnDeviceClose() override { return overlay->OnDeviceClose(); }
};

using Files = std::vector<std::pair<std::string, std::string>>;

// Loads the module into a session of the given size, writes the files and the
// document into its data folder, and captures one frame 0.8 s after the start
// (30 frames at 30 a second); `around`, when given, wraps every OnDraw. The
// captured frame's path, or empty.
std::string renderOnce(const qktest::TempDir& home, const qktest::TempDir& frames, const std::string& audience,
                       int width, int height, const Files& files = {}, AroundOverlay* around = nullptr);

std::string overlayLog(const qktest::TempDir& home);

struct Scene {
    const char* name;
    std::string audience;
    int width, height;
    Files files;
};

// A ticker with a blue bar and green accents at 1280 x 720.
Scene tickerScene();
void expectTicker(const FramePicture& f, const std::string& log);
// Where that bar begins: 5 % of 720 pixels from the bottom.
constexpr int kTickerBarTop = 720 - 40;

// The idle screen with a background colour, a list, a QR code and the accent title at 960 x 540.
Scene idleScene();
void expectIdle(const FramePicture& f);

// A hidden overlay over the host's picture at 640 x 360.
Scene hiddenScene();
void expectHidden(const FramePicture& f);

// The idle screen with a logo picture from the assets file, at 960 x 540.
Scene logoScene();
void expectLogo(const FramePicture& f);

// Renders the scene and hands its captured frame and the overlay's log to
// `expect`; the log must hold no failure line.
void runScene(const Scene& scene, const std::function<void(const FramePicture&, const std::string& log)>& expect,
              AroundOverlay* around = nullptr);

// The pictures of docs/ at 1920 x 1080: the idle screen and the ticker.
Scene idleScreenshotScene();
Scene tickerScreenshotScene();

}  // namespace qktest::display
