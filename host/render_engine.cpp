#include "host/render_engine.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <future>
#include <mutex>

#include "host/frame_pacing.h"

namespace qkhost {

namespace {

const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec2 pos;
out vec2 uv;
void main() {
    uv = vec2(pos.x * 0.5 + 0.5, 0.5 - pos.y * 0.5);
    gl_Position = vec4(pos, 0.0, 1.0);
})";

const char* kFragmentShader = R"(#version 330 core
in vec2 uv;
out vec4 color;
uniform sampler2D picture;
void main() { color = texture(picture, uv); })";

GLuint compile(GLenum stage, const char* source) {
    const GLuint s = glCreateShader(stage);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024];
        glGetShaderInfoLog(s, sizeof log, nullptr, log);
        std::fprintf(stderr, "qkhost: shader: %s\n", log);
    }
    return s;
}

// A test card: colour bars over a dark grid with a centre circle, so that what a
// plug-in draws over it, and where, is easy to see.
cairo_surface_t* makeTestCard(int w, int h) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0.08, 0.08, 0.1);
    cairo_paint(cr);
    const double bars[7][3] = {{0.75, 0.75, 0.75}, {0.75, 0.75, 0}, {0, 0.75, 0.75}, {0, 0.75, 0},
                               {0.75, 0, 0.75},    {0.75, 0, 0},    {0, 0, 0.75}};
    const double barW = w / 7.0;
    for (int i = 0; i < 7; ++i) {
        cairo_set_source_rgb(cr, bars[i][0], bars[i][1], bars[i][2]);
        cairo_rectangle(cr, i * barW, h * 0.25, barW + 1, h * 0.5);
        cairo_fill(cr);
    }
    cairo_set_source_rgba(cr, 1, 1, 1, 0.25);
    cairo_set_line_width(cr, 1);
    for (int x = 0; x < w; x += 60) {
        cairo_move_to(cr, x + 0.5, 0);
        cairo_line_to(cr, x + 0.5, h);
    }
    for (int y = 0; y < h; y += 60) {
        cairo_move_to(cr, 0, y + 0.5);
        cairo_line_to(cr, w, y + 0.5);
    }
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 3);
    cairo_arc(cr, w / 2.0, h / 2.0, std::min(w, h) * 0.3, 0, 2 * M_PI);
    cairo_stroke(cr);
    cairo_destroy(cr);
    return surface;
}

cairo_surface_t* loadBackground(const std::string& path, int w, int h) {
    cairo_surface_t* picture = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(picture) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "qkhost: cannot read %s as PNG; drawing the test card\n", path.c_str());
        cairo_surface_destroy(picture);
        return makeTestCard(w, h);
    }
    // Scaled to cover the output, as a deck's video fills it.
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(surface);
    const double sx = double(w) / cairo_image_surface_get_width(picture);
    const double sy = double(h) / cairo_image_surface_get_height(picture);
    cairo_scale(cr, sx, sy);
    cairo_set_source_surface(cr, picture, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(picture);
    return surface;
}

}  // namespace

struct RenderEngine::Impl final : vdj::VideoHostServices {
    RenderOptions options;
    std::vector<vdj::VideoFxPlugin*> plugins;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> running{false};
    std::atomic<std::thread::id> renderThread{};
    mutable std::mutex capturedMutex;
    std::vector<std::string> captured;

    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    GLuint fbo = 0, colorTexture = 0, backgroundTexture = 0, program = 0, vao = 0, vbo = 0;

    // The deck picture, drawn by the host before the effects and by DrawDeck.
    vdj::Result VDJ_API DrawDeck() override {
        if (std::this_thread::get_id() != renderThread.load()) return vdj::kNotImplemented;
        drawBackground();
        return vdj::kOk;
    }

    // The OpenGL device is the render thread's current context.
    vdj::Result VDJ_API GetDevice(vdj::VideoEngine kind, void** device) override {
        if (device == nullptr) return vdj::kNotImplemented;
        *device = nullptr;
        if (kind != vdj::VideoEngine::OpenGL || context == EGL_NO_CONTEXT ||
            std::this_thread::get_id() != renderThread.load())
            return vdj::kNotImplemented;
        *device = context;
        return vdj::kOk;
    }

    vdj::Result VDJ_API GetTexture(vdj::VideoEngine, void** texture, vdj::Vertex**) override {
        if (texture) *texture = nullptr;
        return vdj::kNotImplemented;
    }

    bool createContext(std::string* error) {
        auto getPlatformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (getPlatformDisplay == nullptr) {
            *error = "EGL has no eglGetPlatformDisplayEXT";
            return false;
        }
        display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        EGLint major = 0, minor = 0;
        if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
            *error = "no surfaceless EGL display";
            return false;
        }
        eglBindAPI(EGL_OPENGL_API);
        const EGLint attributes[] = {
            EGL_CONTEXT_MAJOR_VERSION,           3,       EGL_CONTEXT_MINOR_VERSION, 3, EGL_CONTEXT_OPENGL_PROFILE_MASK,
            EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
        context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
        if (context == EGL_NO_CONTEXT || !eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
            *error = "no OpenGL 3.3 core context";
            return false;
        }
        return true;
    }

    void createTargets() {
        glGenTextures(1, &colorTexture);
        glBindTexture(GL_TEXTURE_2D, colorTexture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, options.width, options.height, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        glGenFramebuffers(1, &fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colorTexture, 0);

        cairo_surface_t* picture = options.background.empty()
                                       ? makeTestCard(options.width, options.height)
                                       : loadBackground(options.background, options.width, options.height);
        cairo_surface_flush(picture);
        glGenTextures(1, &backgroundTexture);
        glBindTexture(GL_TEXTURE_2D, backgroundTexture);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, cairo_image_surface_get_stride(picture) / 4);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, options.width, options.height, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                     cairo_image_surface_get_data(picture));
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        cairo_surface_destroy(picture);
        glBindTexture(GL_TEXTURE_2D, 0);

        program = glCreateProgram();
        const GLuint vs = compile(GL_VERTEX_SHADER, kVertexShader);
        const GLuint fs = compile(GL_FRAGMENT_SHADER, kFragmentShader);
        glAttachShader(program, vs);
        glAttachShader(program, fs);
        glLinkProgram(program);
        glDeleteShader(vs);
        glDeleteShader(fs);
        const float quad[] = {-1, -1, 1, -1, -1, 1, 1, 1};
        glGenVertexArrays(1, &vao);
        glBindVertexArray(vao);
        glGenBuffers(1, &vbo);
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
        glEnableVertexAttribArray(0);
        glBindVertexArray(0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }

    void drawBackground() {
        glDisable(GL_BLEND);
        glUseProgram(program);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, backgroundTexture);
        glBindVertexArray(vao);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glBindVertexArray(0);
        glUseProgram(0);
        glBindTexture(GL_TEXTURE_2D, 0);
    }

    void capture(int frame) {
        std::vector<unsigned char> pixels(static_cast<size_t>(options.width) * options.height * 4);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, options.width, options.height, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
        cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, options.width, options.height);
        const int stride = cairo_image_surface_get_stride(image);
        unsigned char* data = cairo_image_surface_get_data(image);
        const size_t row = static_cast<size_t>(options.width) * 4;
        for (int y = 0; y < options.height; ++y)  // GL's rows run bottom-up
            std::memcpy(data + static_cast<size_t>(y) * stride,
                        pixels.data() + static_cast<size_t>(options.height - 1 - y) * row, row);
        cairo_surface_mark_dirty(image);
        char name[64];
        std::snprintf(name, sizeof name, "/frame-%06d.png", frame);
        const std::string path = options.framesDir + name;
        if (cairo_surface_write_to_png(image, path.c_str()) == CAIRO_STATUS_SUCCESS) {
            std::lock_guard lock(capturedMutex);
            captured.push_back(path);
        }
        cairo_surface_destroy(image);
    }

    // The preview window: the finished frame copied to an X11 window, so the KJ
    // sees what the video output carries. Only when a display answers.
    Display* xDisplay = nullptr;
    ::Window xWindow = 0;
    GC xGc = nullptr;
    XImage* xImage = nullptr;
    std::vector<char> xPixels;

    void openPreview() {
        xDisplay = XOpenDisplay(nullptr);
        if (xDisplay == nullptr) return;
        const int screen = DefaultScreen(xDisplay);
        if (DefaultDepth(xDisplay, screen) != 24) {  // the copy below assumes 32-bit BGRX pixels
            closePreview();
            return;
        }
        xWindow = XCreateSimpleWindow(xDisplay, RootWindow(xDisplay, screen), 0, 0, options.width, options.height, 0,
                                      BlackPixel(xDisplay, screen), BlackPixel(xDisplay, screen));
        XStoreName(xDisplay, xWindow, "qkhost video output");
        XSelectInput(xDisplay, xWindow, KeyPressMask);
        xGc = XCreateGC(xDisplay, xWindow, 0, nullptr);
        xPixels.resize(static_cast<size_t>(options.width) * options.height * 4);
        xImage = XCreateImage(xDisplay, DefaultVisual(xDisplay, screen), 24, ZPixmap, 0, xPixels.data(), options.width,
                              options.height, 32, options.width * 4);
        XMapWindow(xDisplay, xWindow);
        XFlush(xDisplay);
    }

    void showPreview() {
        if (xImage == nullptr) return;
        std::vector<unsigned char> pixels(xPixels.size());
        glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
        glReadPixels(0, 0, options.width, options.height, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
        const size_t row = static_cast<size_t>(options.width) * 4;
        for (int y = 0; y < options.height; ++y)
            std::memcpy(xPixels.data() + static_cast<size_t>(y) * row,
                        pixels.data() + static_cast<size_t>(options.height - 1 - y) * row, row);
        XPutImage(xDisplay, xWindow, xGc, xImage, 0, 0, 0, 0, options.width, options.height);
        while (XPending(xDisplay) > 0) {  // the queue must not grow, whatever arrives
            XEvent event;
            XNextEvent(xDisplay, &event);
            if (event.type != KeyPress || !options.onPadKey) continue;
            const KeySym key = XLookupKeysym(&event.xkey, 0);
            if (key >= XK_1 && key <= XK_4) options.onPadKey(static_cast<int>(key - XK_1) + 1);
        }
        XFlush(xDisplay);
    }

    void closePreview() {
        if (xImage != nullptr) {
            xImage->data = nullptr;  // the pixels belong to xPixels
            XDestroyImage(xImage);
            xImage = nullptr;
        }
        if (xGc != nullptr) XFreeGC(xDisplay, xGc);
        if (xWindow != 0) XDestroyWindow(xDisplay, xWindow);
        if (xDisplay != nullptr) XCloseDisplay(xDisplay);
        xGc = nullptr;
        xWindow = 0;
        xDisplay = nullptr;
    }

    void destroyContext() {
        if (context == EGL_NO_CONTEXT) return;
        glDeleteFramebuffers(1, &fbo);
        glDeleteTextures(1, &colorTexture);
        glDeleteTextures(1, &backgroundTexture);
        glDeleteProgram(program);
        glDeleteBuffers(1, &vbo);
        glDeleteVertexArrays(1, &vao);
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, context);
        context = EGL_NO_CONTEXT;
        eglReleaseThread();
    }

    void run(std::promise<std::string>& started, std::atomic<int>& frames, std::atomic<int>& late) {
        renderThread = std::this_thread::get_id();
        std::string error;
        if (!createContext(&error)) {
            destroyContext();
            started.set_value(error);
            return;
        }
        createTargets();
        if (options.showWindow) openPreview();
        started.set_value("");
        FramePacing pacing(options);
        for (int frame = 0; !stopping; ++frame) {
            if (options.maxFrames > 0 && frame >= options.maxFrames) break;
            glBindFramebuffer(GL_FRAMEBUFFER, fbo);
            glViewport(0, 0, options.width, options.height);
            drawBackground();
            for (vdj::VideoFxPlugin* p : plugins) p->OnDraw();
            glFinish();
            if (pacing.wanted(frame) && !options.framesDir.empty()) capture(frame);
            showPreview();
            frames = frame + 1;
            if (pacing.waitForNext(frame)) ++late;
        }
        for (vdj::VideoFxPlugin* p : plugins) p->OnDeviceClose();
        closePreview();
        destroyContext();
    }
};

RenderEngine::RenderEngine(RenderOptions options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
}

RenderEngine::~RenderEngine() {
    stop();
}

vdj::VideoHostServices* RenderEngine::services() {
    return impl_.get();
}

bool RenderEngine::start(std::vector<vdj::VideoFxPlugin*> plugins, std::string* error) {
    if (impl_->thread.joinable()) return true;
    impl_->plugins = std::move(plugins);
    std::promise<std::string> started;
    auto result = started.get_future();
    impl_->thread = std::thread([this, &started] { impl_->run(started, frames_, late_); });
    const std::string failure = result.get();
    if (!failure.empty()) {
        impl_->thread.join();
        if (error) *error = failure;
        return false;
    }
    return true;
}

void RenderEngine::stop() {
    impl_->stopping = true;
    if (impl_->thread.joinable()) impl_->thread.join();
}

void RenderEngine::wait() {
    if (impl_->thread.joinable()) impl_->thread.join();
}

std::vector<std::string> RenderEngine::capturedFrames() const {
    std::lock_guard lock(impl_->capturedMutex);
    return impl_->captured;
}

}  // namespace qkhost
