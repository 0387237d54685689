// The built QuorvaleOverlay module in qkhost's render thread on Mesa's software
// OpenGL: the ticker and the idle screen show up in the captured frames.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <functional>

#include "tests/overlay/display_scenes.h"
#include "tests/support/frame_picture.h"
#include "tests/support/temp_dir.h"

namespace {

// Draws the overlay inside a host's own OpenGL state: `set` before each OnDraw,
// then what the host finds right after it, `unset` before the host draws again.
class InHostState final : public qktest::display::AroundOverlay {
public:
    std::function<void()> set = [] {}, unset = [] {};
    GLenum hostError = GL_NO_ERROR;  // an error `set` leaves for the host to read
    // Found after the frames: every frame left the state as the host set it,
    // and the host's unread error was still there.
    bool stateKept = true, errorKept = true;
    std::array<unsigned char, 4> lastPixel{};
    int lastBright = 0;  // white text pixels in the bar
    int barTop = 0;

    vdj::Result VDJ_API OnDraw() override {
        set();
        const auto before = hostState();
        overlay->OnDraw();
        stateKept = stateKept && hostState() == before;
        errorKept = errorKept && glGetError() == hostError;
        unset();
        glReadPixels(width - 10, height - 1 - (barTop + 8), 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, lastPixel.data());
        std::vector<unsigned char> bar(static_cast<std::size_t>(width) * (height - barTop - 8) * 4);
        glReadPixels(0, 4, width, height - barTop - 8, GL_RGBA, GL_UNSIGNED_BYTE, bar.data());
        lastBright = 0;
        for (std::size_t i = 0; i < bar.size(); i += 4)
            lastBright += bar[i] > 200 && bar[i + 1] > 200 && bar[i + 2] > 200;
        return vdj::kOk;
    }

private:
    static std::vector<GLint> hostState() {
        std::vector<GLint> s;
        for (GLenum e : {GL_CULL_FACE, GL_DEPTH_TEST, GL_STENCIL_TEST, GL_BLEND}) s.push_back(glIsEnabled(e));
        for (GLenum e : {GL_CULL_FACE_MODE, GL_FRONT_FACE, GL_PIXEL_UNPACK_BUFFER_BINDING, GL_UNPACK_ALIGNMENT,
                         GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_ROWS, GL_UNPACK_SKIP_PIXELS, GL_UNPACK_IMAGE_HEIGHT,
                         GL_UNPACK_SKIP_IMAGES, GL_CURRENT_PROGRAM, GL_VERTEX_ARRAY_BINDING, GL_ARRAY_BUFFER_BINDING,
                         GL_ACTIVE_TEXTURE, GL_TEXTURE_BINDING_2D}) {
            GLint v = 0;
            glGetIntegerv(e, &v);
            s.push_back(v);
        }
        return s;
    }
};

using qktest::display::renderOnce;

using qktest::display::runScene;

TEST(DisplayModule, TickerBarScrollsOverTheTestCard) {
    runScene(qktest::display::tickerScene(), qktest::display::expectTicker);
}

TEST(DisplayModule, IdleScreenWithListAndQrCode) {
    runScene(qktest::display::idleScene(), [](const auto& f, const auto&) { qktest::display::expectIdle(f); });
}

TEST(DisplayModule, HiddenOverlayLeavesTheHostsPictureAlone) {
    runScene(qktest::display::hiddenScene(), [](const auto& f, const auto&) { qktest::display::expectHidden(f); });
}

TEST(DisplayModule, ALogoPictureSitsAtTheTopOfTheLeftThird) {
    runScene(qktest::display::logoScene(), [](const auto& f, const auto&) { qktest::display::expectLogo(f); });
}

TEST(DisplayModule, TheTickerShowsWhateverStateTheHostLeftAndTheStateStaysTheHosts) {
    struct Case {
        const char* what;
        std::function<void()> set, unset;
        GLenum hostError = GL_NO_ERROR;
    };
    GLuint unpackBuffer = 0;
    const std::vector<Case> cases = {
        {"back faces culled",
         [] {
             glEnable(GL_CULL_FACE);
             glCullFace(GL_BACK);
         },
         [] { glDisable(GL_CULL_FACE); }},
        {"front faces culled, clockwise in front",
         [] {
             glEnable(GL_CULL_FACE);
             glCullFace(GL_FRONT);
             glFrontFace(GL_CW);
         },
         [] {
             glDisable(GL_CULL_FACE);
             glCullFace(GL_BACK);
             glFrontFace(GL_CCW);
         }},
        {"an unpack buffer bound",
         [&] {
             if (unpackBuffer == 0) glGenBuffers(1, &unpackBuffer);
             glBindBuffer(GL_PIXEL_UNPACK_BUFFER, unpackBuffer);
             glBufferData(GL_PIXEL_UNPACK_BUFFER, 64, nullptr, GL_STREAM_DRAW);
         },
         [] { glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0); }},
        {"rows and pixels skipped, odd lengths",
         [] {
             glPixelStorei(GL_UNPACK_SKIP_ROWS, 3);
             glPixelStorei(GL_UNPACK_SKIP_PIXELS, 5);
             glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, 7);
             glPixelStorei(GL_UNPACK_ROW_LENGTH, 9);
             glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
         },
         [] {
             for (GLenum e : {GL_UNPACK_SKIP_ROWS, GL_UNPACK_SKIP_PIXELS, GL_UNPACK_IMAGE_HEIGHT, GL_UNPACK_ROW_LENGTH})
                 glPixelStorei(e, 0);
             glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
         }},
        {"an error the host has not read yet", [] { glEnable(0x7FFF); }, [] { glGetError(); }, GL_INVALID_ENUM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qktest::TempDir home, frames;
        InHostState around;
        around.set = c.set;
        around.unset = c.unset;
        around.hostError = c.hostError;
        around.barTop = qktest::display::kTickerBarTop;
        unpackBuffer = 0;  // the buffer belongs to each run's own context
        const auto scene = qktest::display::tickerScene();
        renderOnce(home, frames, scene.audience, scene.width, scene.height, {}, &around);
        EXPECT_GT(around.lastPixel[2], 200) << "the bar's blue";
        EXPECT_LT(around.lastPixel[0], 60);
        EXPECT_GT(around.lastBright, 50) << "the singer's name in the bar";
        EXPECT_TRUE(around.stateKept);
        EXPECT_TRUE(around.errorKept);
        const std::string log = qktest::display::overlayLog(home);
        EXPECT_EQ(log.find("makeTextTexture failed"), std::string::npos) << log;
    }
}

// The pictures in docs/: run with QK_SCREENSHOT_DIR set to write them there.
TEST(DisplayModule, ScreenshotsAt1080p) {
    const char* dir = std::getenv("QK_SCREENSHOT_DIR");
    if (dir == nullptr) GTEST_SKIP() << "QK_SCREENSHOT_DIR not set";
    for (const auto& scene : {qktest::display::idleScreenshotScene(), qktest::display::tickerScreenshotScene()}) {
        qktest::TempDir home, frames;
        const std::string png = renderOnce(home, frames, scene.audience, scene.width, scene.height, scene.files);
        ASSERT_FALSE(png.empty());
        qktest::writeFile(std::string(dir) + "/" + scene.name + ".png", qktest::readFile(png));
    }
}

}  // namespace
