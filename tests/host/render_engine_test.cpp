// qkhost's render thread with real OpenGL on Mesa: a video effect draws over the
// deck picture and the captured frame shows both.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>

#include "host/render_engine.h"
#include "tests/support/temp_dir.h"

namespace {

class ScissorEffect final : public vdj::VideoFxPlugin {
public:
    int draws = 0, closes = 0, deviceOk = 0;
    void VDJ_API Destroy() override {}
    vdj::Result VDJ_API OnDraw() override {
        ++draws;
        void* device = nullptr;
        if (video->GetDevice(vdj::VideoEngine::OpenGL, &device) == 0 && device != nullptr) ++deviceOk;
        void* d3d = reinterpret_cast<void*>(1);
        EXPECT_NE(video->GetDevice(vdj::VideoEngine::DirectX11, &d3d), 0);
        EXPECT_EQ(d3d, nullptr);
        // A red square in the top-left 100x100 pixels of a 320x180 output.
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 180 - 100, 100, 100);
        glClearColor(1, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        return 0;
    }
    vdj::Result VDJ_API OnDeviceClose() override {
        ++closes;
        return 0;
    }
};

unsigned pixel(cairo_surface_t* s, int x, int y) {
    const unsigned char* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    unsigned v;
    std::memcpy(&v, row + x * 4, 4);
    return v & 0xFFFFFF;
}

TEST(RenderEngine, EffectsDrawOverTheDeckPictureAndFramesAreCaptured) {
    qktest::TempDir frames;
    qkhost::RenderOptions options;
    options.width = 320;
    options.height = 180;
    options.fps = 100;
    options.framesDir = frames.path();
    options.captureEvery = 2;
    options.maxFrames = 3;
    qkhost::RenderEngine engine(options);
    ScissorEffect effect;
    effect.video = engine.services();
    std::string error;
    ASSERT_TRUE(engine.start({&effect}, &error)) << error;
    engine.wait();

    EXPECT_EQ(engine.framesDrawn(), 3);
    EXPECT_EQ(effect.draws, 3);
    EXPECT_EQ(effect.deviceOk, 3);
    EXPECT_EQ(effect.closes, 1);
    // Off the render thread there is no device.
    void* device = reinterpret_cast<void*>(1);
    EXPECT_NE(engine.services()->GetDevice(vdj::VideoEngine::OpenGL, &device), 0);

    const auto captured = engine.capturedFrames();
    ASSERT_EQ(captured.size(), 2u);  // frames 0 and 2
    cairo_surface_t* png = cairo_image_surface_create_from_png(captured[0].c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(png), 320);
    EXPECT_EQ(pixel(png, 10, 10), 0xFF0000u);    // the effect, top-left, right way up
    EXPECT_NE(pixel(png, 200, 90), 0xFF0000u);   // the test card elsewhere
    EXPECT_NE(pixel(png, 200, 90), 0x000000u);
    cairo_surface_destroy(png);
}

}  // namespace
