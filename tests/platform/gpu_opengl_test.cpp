// The OpenGL backend on Mesa's software renderer, inside qkhost's render thread:
// exact colours, premultiplied blending, the host's state left as it was, and
// shader failures reported with the compiler's text.
#define GL_GLEXT_PROTOTYPES
#include "platform/opengl/gpu_opengl.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <thread>

#include "host/render_engine.h"

namespace {

using qk::platform::Gpu;
using qk::platform::GpuTexture;

constexpr int kW = 160, kH = 90;

// Runs a check once, on the render thread, with the output's framebuffer bound
// and the device the host's GetDevice answered.
class OneShot final : public vdj::VideoFxPlugin {
public:
    explicit OneShot(std::function<void(const void*)> body) : body_(std::move(body)) {}
    void VDJ_API Destroy() override {}
    vdj::Result VDJ_API OnDraw() override {
        void* device = nullptr;
        if (!done_ && video->GetDevice(qk::platform::kHostVideoEngine, &device) == vdj::kOk) body_(device);
        done_ = true;
        return 0;
    }

private:
    std::function<void(const void*)> body_;
    bool done_ = false;
};

void onRenderThread(std::function<void(const void*)> body) {
    qkhost::RenderOptions options;
    options.width = kW;
    options.height = kH;
    options.fps = 200;
    options.maxFrames = 1;
    qkhost::RenderEngine engine(options);
    OneShot effect(std::move(body));
    effect.video = engine.services();
    std::string error;
    ASSERT_TRUE(engine.start({&effect}, &error)) << error;
    engine.wait();
}

// Red, green, blue, alpha of the output pixel at (x, y), y down.
std::array<int, 4> pixelAt(int x, int y) {
    std::array<unsigned char, 4> p{};
    glReadPixels(x, kH - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    return {p[0], p[1], p[2], p[3]};
}

TEST(OpenGlGpu, SolidQuadsGiveExactColoursAndBlendPremultiplied) {
    onRenderThread([](const void* device) {
        auto gpu = Gpu::create();
        gpu->useDevice(device);
        std::string failure;
        ASSERT_TRUE(gpu->buildPipeline(&failure)) << failure;
        gpu->saveState();
        gpu->drawQuad(kW, kH, 0, 0, kW, kH, nullptr, {0.2f, 0.4f, 0.6f, 1});
        EXPECT_EQ(pixelAt(0, 0), (std::array<int, 4>{51, 102, 153, 255}));
        EXPECT_EQ(pixelAt(kW - 1, kH - 1), (std::array<int, 4>{51, 102, 153, 255}));
        // Half-transparent red over that: premultiplied (0.5, 0, 0, 0.5).
        gpu->drawQuad(kW, kH, kW / 2.0f, kH / 2.0f, kW / 2.0f, kH / 2.0f, nullptr, {0.5f, 0, 0, 0.5f});
        const auto blended = pixelAt(kW * 3 / 4, kH * 3 / 4);
        EXPECT_NEAR(blended[0], 128 + 26, 1);
        EXPECT_NEAR(blended[1], 51, 1);
        EXPECT_NEAR(blended[2], 77, 1);
        EXPECT_EQ(pixelAt(kW / 4, kH / 4)[0], 51) << "only the lower right quarter is covered";
        gpu->drawQuad(kW, kH, 0, 0, kW, kH, nullptr, {0, 0, 0, 0});
        EXPECT_EQ(pixelAt(0, 0), (std::array<int, 4>{51, 102, 153, 255})) << "a clear quad changes nothing";
        gpu->restoreState();
        gpu->releasePipeline();
    });
}

TEST(OpenGlGpu, TexturesShowTheirOwnPremultipliedAlphaTheRightWayUp) {
    onRenderThread([](const void* device) {
        auto gpu = Gpu::create();
        gpu->useDevice(device);
        std::string failure;
        ASSERT_TRUE(gpu->buildPipeline(&failure)) << failure;
        gpu->saveState();
        gpu->drawQuad(kW, kH, 0, 0, kW, kH, nullptr, {0, 0, 0, 1});
        // Two rows, BGRA: the top row opaque blue, the bottom row half-transparent white.
        const std::uint8_t pixels[] = {255, 0, 0, 255, 255, 0, 0, 255, 128, 128, 128, 128, 128, 128, 128, 128};
        GpuTexture texture = gpu->makeTextureFromBgra(pixels, 2, 2);
        ASSERT_TRUE(texture.usable());
        EXPECT_EQ(texture.width, 2);
        gpu->drawQuad(kW, kH, 0, 0, kW, kH, &texture, {1, 1, 1, 1});
        EXPECT_EQ(pixelAt(kW / 2, 2), (std::array<int, 4>{0, 0, 255, 255}));
        const auto lower = pixelAt(kW / 2, kH - 2);
        EXPECT_NEAR(lower[0], 128, 1);
        EXPECT_NEAR(lower[2], 128, 1);
        gpu->releaseTexture(texture);
        EXPECT_FALSE(texture.usable());
        EXPECT_FALSE(gpu->makeTextureFromBgra(pixels, 0, 2).usable());
        gpu->restoreState();
        gpu->releasePipeline();
    });
}

TEST(OpenGlGpu, TheHostsStateIsTheSameAfterTheOverlayDrew) {
    onRenderThread([](const void* device) {
        // The host's own objects and settings before the overlay draws.
        GLuint program = glCreateProgram(), vao = 0, buffer = 0, texture = 0, sampler = 0;
        glGenVertexArrays(1, &vao);
        glGenBuffers(1, &buffer);
        glGenTextures(1, &texture);
        glGenSamplers(1, &sampler);
        glUseProgram(0);
        glBindVertexArray(vao);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glDisable(GL_BLEND);
        glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE, GL_ZERO, GL_DST_ALPHA);
        glBlendEquationSeparate(GL_FUNC_SUBTRACT, GL_MAX);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, texture);
        glBindSampler(0, sampler);
        glActiveTexture(GL_TEXTURE3);

        auto snapshot = [] {
            std::array<GLint, 12> s{};
            glGetIntegerv(GL_CURRENT_PROGRAM, &s[0]);
            glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &s[1]);
            glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &s[2]);
            s[3] = glIsEnabled(GL_BLEND);
            glGetIntegerv(GL_BLEND_SRC_RGB, &s[4]);
            glGetIntegerv(GL_BLEND_DST_RGB, &s[5]);
            glGetIntegerv(GL_BLEND_SRC_ALPHA, &s[6]);
            glGetIntegerv(GL_BLEND_DST_ALPHA, &s[7]);
            glGetIntegerv(GL_BLEND_EQUATION_RGB, &s[8]);
            glGetIntegerv(GL_ACTIVE_TEXTURE, &s[9]);
            GLint active = 0;
            glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
            glActiveTexture(GL_TEXTURE0);
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &s[10]);
            glGetIntegerv(GL_SAMPLER_BINDING, &s[11]);
            glActiveTexture(static_cast<GLenum>(active));
            return s;
        };
        const auto before = snapshot();

        auto gpu = Gpu::create();
        gpu->useDevice(device);
        std::string failure;
        ASSERT_TRUE(gpu->buildPipeline(&failure)) << failure;
        const std::uint8_t pixel[] = {1, 2, 3, 255};
        GpuTexture made = gpu->makeTextureFromBgra(pixel, 1, 1);
        gpu->saveState();
        gpu->drawQuad(kW, kH, 0, 0, 10, 10, nullptr, {1, 0, 0, 1});
        gpu->drawQuad(kW, kH, 10, 0, 10, 10, &made, {1, 1, 1, 1});
        gpu->restoreState();
        EXPECT_EQ(snapshot(), before);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        gpu->releaseTexture(made);
        gpu->releasePipeline();
        glUseProgram(0);
        glDeleteProgram(program);
    });
}

TEST(OpenGlGpu, ShaderFailuresCarryTheCompilersText) {
    onRenderThread([](const void* device) {
        auto sources = qk::platform::defaultShaderSources();
        sources.vertex = "#version 330 core\nvoid main() { gl_Position = undefinedThing; }\n";
        auto broken = qk::platform::createOpenGlGpu(sources);
        broken->useDevice(device);
        std::string failure;
        EXPECT_FALSE(broken->buildPipeline(&failure));
        EXPECT_EQ(failure.rfind("shader vs_4_0 FAIL: ", 0), 0u) << failure;
        EXPECT_NE(failure.find("undefinedThing"), std::string::npos) << failure;
        sources = qk::platform::defaultShaderSources();
        sources.textured = "not glsl";
        failure.clear();
        auto other = qk::platform::createOpenGlGpu(sources);
        other->useDevice(device);
        EXPECT_FALSE(other->buildPipeline(&failure));
        EXPECT_EQ(failure.rfind("shader ps_4_0 FAIL: ", 0), 0u) << failure;
    });
}

TEST(OpenGlGpu, ObjectsLeftWithoutTheirContextAreNotTouched) {
    std::unique_ptr<Gpu> gpu;
    GpuTexture texture;
    onRenderThread([&](const void* device) {
        gpu = Gpu::create();
        gpu->useDevice(device);
        std::string failure;
        ASSERT_TRUE(gpu->buildPipeline(&failure)) << failure;
        const std::uint8_t pixel[] = {1, 2, 3, 255};
        texture = gpu->makeTextureFromBgra(pixel, 1, 1);
    });
    // The context is gone and none is current here: release and destruction
    // must not call OpenGL.
    gpu->useDevice(nullptr);
    gpu->releaseTexture(texture);
    EXPECT_FALSE(texture.usable());
    gpu->releasePipeline();
    gpu.reset();
}

}  // namespace
