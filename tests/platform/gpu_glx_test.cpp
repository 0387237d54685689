// The OpenGL backend under a host that makes its context with GLX rather than
// EGL: the device is whatever GetDevice answered, here the GLXContext, and the
// backend draws with it as with any other. Needs an X server (Xvfb in the runs).
// GoogleTest before Xlib, whose macros (None, Bool) would clash with its names.
#include <gtest/gtest.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glx.h>
#include <GL/glxext.h>

#include <array>
#include <cstdlib>

#include "platform/gpu.h"

namespace {

constexpr int kW = 64, kH = 32;

// A GLX host's render thread in miniature: an OpenGL 3.3 core context current on a pbuffer.
class GlxHost {
public:
    GlxHost() {
        display_ = XOpenDisplay(nullptr);
        if (display_ == nullptr) return;
        const int want[] = {GLX_DRAWABLE_TYPE, GLX_PBUFFER_BIT, GLX_RENDER_TYPE, GLX_RGBA_BIT, None};
        int count = 0;
        GLXFBConfig* configs = glXChooseFBConfig(display_, DefaultScreen(display_), want, &count);
        if (configs == nullptr || count == 0) return;
        const auto create = reinterpret_cast<PFNGLXCREATECONTEXTATTRIBSARBPROC>(
            glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXCreateContextAttribsARB")));
        const int version[] = {
            GLX_CONTEXT_MAJOR_VERSION_ARB,    3,   GLX_CONTEXT_MINOR_VERSION_ARB, 3, GLX_CONTEXT_PROFILE_MASK_ARB,
            GLX_CONTEXT_CORE_PROFILE_BIT_ARB, None};
        if (create != nullptr) context_ = create(display_, configs[0], nullptr, True, version);
        const int size[] = {GLX_PBUFFER_WIDTH, kW, GLX_PBUFFER_HEIGHT, kH, None};
        if (context_ != nullptr) pbuffer_ = glXCreatePbuffer(display_, configs[0], size);
        XFree(configs);
        current_ = pbuffer_ != 0 && glXMakeContextCurrent(display_, pbuffer_, pbuffer_, context_);
        if (!current_) return;
        // The host's own output: a framebuffer of its making, bound as it draws.
        glGenRenderbuffers(1, &colour_);
        glBindRenderbuffer(GL_RENDERBUFFER, colour_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, kW, kH);
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
        current_ = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }
    ~GlxHost() {
        if (display_ == nullptr) return;
        if (framebuffer_ != 0) glDeleteFramebuffers(1, &framebuffer_);
        if (colour_ != 0) glDeleteRenderbuffers(1, &colour_);
        glXMakeContextCurrent(display_, None, None, nullptr);
        if (pbuffer_ != 0) glXDestroyPbuffer(display_, pbuffer_);
        if (context_ != nullptr) glXDestroyContext(display_, context_);
        // The connection stays open: closing it unloads Mesa's driver, whose
        // one-time allocations could then not be told apart from a leak.
    }
    bool ready() const { return current_; }
    // What such a host's GetDevice answers.
    const void* device() const { return context_; }

private:
    Display* display_ = nullptr;
    GLXContext context_ = nullptr;
    GLXPbuffer pbuffer_ = 0;
    GLuint colour_ = 0, framebuffer_ = 0;
    bool current_ = false;
};

std::array<int, 4> pixelAt(int x, int y) {
    std::array<unsigned char, 4> p{};
    glReadPixels(x, kH - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    return {p[0], p[1], p[2], p[3]};
}

TEST(OpenGlGpuUnderGlx, TheDeviceGetDeviceAnsweredDrawsQuadsAndTextures) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X server";
    GlxHost host;
    ASSERT_TRUE(host.ready()) << "no OpenGL 3.3 core context through GLX";
    glViewport(0, 0, kW, kH);
    glClearColor(0.5f, 0.5f, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT);

    auto gpu = qk::platform::Gpu::create();
    gpu->useDevice(host.device());
    std::string failure;
    ASSERT_TRUE(gpu->buildPipeline(&failure)) << failure;
    const std::uint8_t blue[] = {255, 0, 0, 255};
    qk::platform::GpuTexture texture = gpu->makeTextureFromBgra(blue, 1, 1);
    ASSERT_TRUE(texture.usable());
    gpu->saveState();
    gpu->drawQuad(kW, kH, 0, 0, kW / 2.0f, kH, nullptr, {1, 0, 0, 1});
    gpu->drawQuad(kW, kH, kW / 2.0f, 0, kW / 2.0f, kH, &texture, {1, 1, 1, 1});
    gpu->restoreState();
    glFinish();
    EXPECT_EQ(pixelAt(4, kH / 2), (std::array<int, 4>{255, 0, 0, 255}));
    EXPECT_EQ(pixelAt(kW - 4, kH / 2), (std::array<int, 4>{0, 0, 255, 255}));
    gpu->releaseTexture(texture);
    gpu->releasePipeline();
}

}  // namespace
