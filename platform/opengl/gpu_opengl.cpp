// The GPU seam on OpenGL 3.3 core, drawing with the context the host made
// current on its render thread, into whatever framebuffer and viewport it bound.
// Nothing here asks the window system which context is current: the overlay
// says which device is at hand.
#define GL_GLEXT_PROTOTYPES
#include "platform/opengl/gpu_opengl.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <array>
#include <string>

#include "platform/gpu.h"

namespace qk::platform {
namespace {

// The stage names in the failure line are the ones the overlay's log has
// always used, whatever the graphics API.
constexpr const char* kVertexStage = "vs_4_0";
constexpr const char* kPixelStage = "ps_4_0";

constexpr const char* kVertexSource =
    "#version 330 core\n"
    "layout(location = 0) in vec2 pos;\n"
    "layout(location = 1) in vec2 uv;\n"
    "layout(location = 2) in vec4 col;\n"
    "out vec2 vUv;\n"
    "out vec4 vCol;\n"
    "void main() { vUv = uv; vCol = col; gl_Position = vec4(pos, 0.0, 1.0); }\n";
constexpr const char* kSolidSource =
    "#version 330 core\n"
    "in vec2 vUv;\n"
    "in vec4 vCol;\n"
    "out vec4 outColor;\n"
    "void main() { outColor = vCol; }\n";
constexpr const char* kTexturedSource =
    "#version 330 core\n"
    "uniform sampler2D tex;\n"
    "in vec2 vUv;\n"
    "in vec4 vCol;\n"
    "out vec4 outColor;\n"
    "void main() { outColor = texture(tex, vUv) * vCol; }\n";

constexpr GLsizeiptr kVertexBufferBytes = 128;

// How pixels are read from memory for an upload. A host may leave any of it
// set for its own uploads (a bound unpack buffer makes the pointer an offset
// into that buffer; skips and lengths move where rows start), so every upload
// saves it, sets the plain values and puts the host's back.
class PlainUnpack {
public:
    PlainUnpack() {
        glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &buffer_);
        for (std::size_t i = 0; i < kParameters.size(); ++i) glGetIntegerv(kParameters[i].name, &saved_[i]);
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
        for (const Parameter& p : kParameters) glPixelStorei(p.name, p.plain);
    }
    ~PlainUnpack() {
        for (std::size_t i = 0; i < kParameters.size(); ++i) glPixelStorei(kParameters[i].name, saved_[i]);
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(buffer_));
    }
    PlainUnpack(const PlainUnpack&) = delete;
    PlainUnpack& operator=(const PlainUnpack&) = delete;

private:
    struct Parameter {
        GLenum name;
        GLint plain;
    };
    // Rows of width * 4 bytes, tightly packed, top row first.
    static constexpr std::array<Parameter, 8> kParameters{{{GL_UNPACK_ALIGNMENT, 4},
                                                           {GL_UNPACK_ROW_LENGTH, 0},
                                                           {GL_UNPACK_SKIP_ROWS, 0},
                                                           {GL_UNPACK_SKIP_PIXELS, 0},
                                                           {GL_UNPACK_IMAGE_HEIGHT, 0},
                                                           {GL_UNPACK_SKIP_IMAGES, 0},
                                                           {GL_UNPACK_SWAP_BYTES, GL_FALSE},
                                                           {GL_UNPACK_LSB_FIRST, GL_FALSE}}};
    GLint buffer_ = 0;
    std::array<GLint, kParameters.size()> saved_{};
};

// Tests a quad must pass whatever the host left on: a culled face (the vertex
// order suits Direct3D's winding, not necessarily the host's), or a depth or
// stencil buffer it drew with.
constexpr std::array<GLenum, 3> kTestsOff{GL_CULL_FACE, GL_DEPTH_TEST, GL_STENCIL_TEST};

struct SavedState {
    GLint program = 0, vertexArray = 0, arrayBuffer = 0;
    std::array<GLboolean, kTestsOff.size()> tests{};
    GLboolean blend = GL_FALSE;
    GLint blendSrcRgb = GL_ONE, blendDstRgb = GL_ZERO, blendSrcAlpha = GL_ONE, blendDstAlpha = GL_ZERO;
    GLint blendEquationRgb = GL_FUNC_ADD, blendEquationAlpha = GL_FUNC_ADD;
    GLint activeTexture = GL_TEXTURE0, texture0 = 0, sampler0 = 0;
};

class OpenGlGpu final : public Gpu {
public:
    explicit OpenGlGpu(ShaderSources sources) : sources_(sources) {}
    // Whatever is left goes with its context: GL may not be called here
    // unless the context the objects belong to is current.
    ~OpenGlGpu() override {
        if (deviceCurrent()) releasePipeline();
    }

    void useDevice(const void* device) override { current_ = device; }

    bool buildPipeline(std::string* failure) override {
        releasePipeline();
        device_ = current_;
        if (device_ == nullptr) {
            *failure = "shader create FAIL";
            return false;
        }
        GLuint vs = 0, solid = 0, textured = 0;
        const bool compiled = compile(GL_VERTEX_SHADER, sources_.vertex, kVertexStage, &vs, failure) &&
                              compile(GL_FRAGMENT_SHADER, sources_.solid, kPixelStage, &solid, failure) &&
                              compile(GL_FRAGMENT_SHADER, sources_.textured, kPixelStage, &textured, failure);
        if (compiled) {
            solidProgram_ = link(vs, solid);
            texturedProgram_ = link(vs, textured);
        }
        for (GLuint s : {vs, solid, textured})
            if (s != 0) glDeleteShader(s);
        if (!compiled) return fail(failure, nullptr);
        if (solidProgram_ == 0 || texturedProgram_ == 0) return fail(failure, "shader create FAIL");

        GLint program = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &program);
        glUseProgram(texturedProgram_);
        glUniform1i(glGetUniformLocation(texturedProgram_, "tex"), 0);
        glUseProgram(static_cast<GLuint>(program));

        glGenVertexArrays(1, &vertexArray_);
        if (vertexArray_ == 0) return fail(failure, "input layout FAIL");
        glGenBuffers(1, &vertexBuffer_);
        if (vertexBuffer_ == 0) return fail(failure, "vbuf FAIL");
        GLint vao = 0, buffer = 0;
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vao);
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &buffer);
        glBindVertexArray(vertexArray_);
        glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
        glBufferData(GL_ARRAY_BUFFER, kVertexBufferBytes, nullptr, GL_DYNAMIC_DRAW);
        const auto stride = static_cast<GLsizei>(sizeof(QuadVertex));
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(0));
        glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(8));
        glVertexAttribPointer(2, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(16));
        for (GLuint i = 0; i < 3; ++i) glEnableVertexAttribArray(i);
        glBindVertexArray(static_cast<GLuint>(vao));
        glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(buffer));

        glGenSamplers(1, &sampler_);
        if (sampler_ == 0) return fail(failure, "sampler FAIL");
        glSamplerParameteri(sampler_, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glSamplerParameteri(sampler_, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glSamplerParameteri(sampler_, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        return true;
    }

    void releasePipeline() override {
        if (!deviceCurrent()) {
            // Another device (or none) is at hand: the objects go with their own.
            forgetPipeline();
            return;
        }
        if (solidProgram_ != 0) glDeleteProgram(solidProgram_);
        if (texturedProgram_ != 0) glDeleteProgram(texturedProgram_);
        if (vertexArray_ != 0) glDeleteVertexArrays(1, &vertexArray_);
        if (vertexBuffer_ != 0) glDeleteBuffers(1, &vertexBuffer_);
        if (sampler_ != 0) glDeleteSamplers(1, &sampler_);
        forgetPipeline();
    }

    void saveState() override {
        glGetIntegerv(GL_CURRENT_PROGRAM, &saved_.program);
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &saved_.vertexArray);
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &saved_.arrayBuffer);
        for (std::size_t i = 0; i < kTestsOff.size(); ++i) saved_.tests[i] = glIsEnabled(kTestsOff[i]);
        saved_.blend = glIsEnabled(GL_BLEND);
        glGetIntegerv(GL_BLEND_SRC_RGB, &saved_.blendSrcRgb);
        glGetIntegerv(GL_BLEND_DST_RGB, &saved_.blendDstRgb);
        glGetIntegerv(GL_BLEND_SRC_ALPHA, &saved_.blendSrcAlpha);
        glGetIntegerv(GL_BLEND_DST_ALPHA, &saved_.blendDstAlpha);
        glGetIntegerv(GL_BLEND_EQUATION_RGB, &saved_.blendEquationRgb);
        glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &saved_.blendEquationAlpha);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &saved_.activeTexture);
        glActiveTexture(GL_TEXTURE0);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &saved_.texture0);
        glGetIntegerv(GL_SAMPLER_BINDING, &saved_.sampler0);
        glActiveTexture(static_cast<GLenum>(saved_.activeTexture));
    }

    void restoreState() override {
        glUseProgram(static_cast<GLuint>(saved_.program));
        glBindVertexArray(static_cast<GLuint>(saved_.vertexArray));
        glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(saved_.arrayBuffer));
        for (std::size_t i = 0; i < kTestsOff.size(); ++i) enable(kTestsOff[i], saved_.tests[i]);
        enable(GL_BLEND, saved_.blend);
        glBlendFuncSeparate(static_cast<GLenum>(saved_.blendSrcRgb), static_cast<GLenum>(saved_.blendDstRgb),
                            static_cast<GLenum>(saved_.blendSrcAlpha), static_cast<GLenum>(saved_.blendDstAlpha));
        glBlendEquationSeparate(static_cast<GLenum>(saved_.blendEquationRgb),
                                static_cast<GLenum>(saved_.blendEquationAlpha));
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(saved_.texture0));
        glBindSampler(0, static_cast<GLuint>(saved_.sampler0));
        glActiveTexture(static_cast<GLenum>(saved_.activeTexture));
    }

    void drawQuad(float outW, float outH, float x, float y, float w, float h, const GpuTexture* texture,
                  Rgba color) override {
        if (vertexBuffer_ == 0 || outW <= 0 || outH <= 0) return;
        const auto vertices = quadVertices(outW, outH, x, y, w, h, color);
        glBindVertexArray(vertexArray_);
        glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
        // Orphan and refill: the driver need not wait for the previous quad.
        glBufferData(GL_ARRAY_BUFFER, kVertexBufferBytes, vertices.data(), GL_DYNAMIC_DRAW);
        glActiveTexture(GL_TEXTURE0);
        if (texture != nullptr && texture->usable()) {
            glUseProgram(texturedProgram_);
            glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture->handle));
            glBindSampler(0, sampler_);
        } else {
            glUseProgram(solidProgram_);
        }
        for (GLenum test : kTestsOff) glDisable(test);
        glEnable(GL_BLEND);
        glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        glBlendEquationSeparate(GL_FUNC_ADD, GL_FUNC_ADD);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }

    GpuTexture makeTextureFromBgra(const std::uint8_t* pixels, std::int32_t width, std::int32_t height) override {
        if (pixels == nullptr || width < 1 || height < 1 || !deviceCurrent()) return {};
        GLint maxSize = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
        if (width > maxSize || height > maxSize) return {};
        GLint active = GL_TEXTURE0, previous = 0;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
        glActiveTexture(GL_TEXTURE0);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
        GLuint name = 0;
        glGenTextures(1, &name);
        GLint madeWidth = 0;
        if (name != 0) {
            glBindTexture(GL_TEXTURE_2D, name);
            {
                const PlainUnpack plain;
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
            }
            // Asked of the texture rather than of glGetError, whose flag may
            // hold an error of the host's that the host has yet to read.
            glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &madeWidth);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
        }
        glActiveTexture(static_cast<GLenum>(active));
        if (name == 0) return {};
        if (madeWidth != width) {
            glDeleteTextures(1, &name);
            return {};
        }
        return {name, width, height};
    }

    void releaseTexture(GpuTexture& texture) override {
        if (texture.usable() && deviceCurrent()) {
            const auto name = static_cast<GLuint>(texture.handle);
            glDeleteTextures(1, &name);
        }
        texture = {};
    }

private:
    // GL may be called only while the context the objects belong to is current:
    // the host's device, known by what GetDevice answered (an EGL or GLX context
    // handle, whatever the host uses), in the calls the overlay makes for it.
    bool deviceCurrent() const { return device_ != nullptr && current_ == device_; }

    static void enable(GLenum capability, GLboolean on) {
        if (on)
            glEnable(capability);
        else
            glDisable(capability);
    }

    void forgetPipeline() {
        device_ = nullptr;
        solidProgram_ = texturedProgram_ = vertexArray_ = vertexBuffer_ = sampler_ = 0;
    }

    bool fail(std::string* failure, const char* line) {
        if (line != nullptr) *failure = line;
        releasePipeline();
        return false;
    }

    static bool compile(GLenum kind, const char* source, const char* stage, GLuint* shader, std::string* failure) {
        *shader = glCreateShader(kind);
        if (*shader == 0) {
            *failure = std::string("shader ") + stage + " FAIL: ?";
            return false;
        }
        glShaderSource(*shader, 1, &source, nullptr);
        glCompileShader(*shader);
        GLint ok = GL_FALSE;
        glGetShaderiv(*shader, GL_COMPILE_STATUS, &ok);
        if (ok == GL_TRUE) return true;
        GLint length = 0;
        glGetShaderiv(*shader, GL_INFO_LOG_LENGTH, &length);
        std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
        if (length > 0) glGetShaderInfoLog(*shader, length, nullptr, text.data());
        while (!text.empty() && (text.back() == '\0' || text.back() == '\n')) text.pop_back();
        *failure = std::string("shader ") + stage + " FAIL: " + (text.empty() ? "?" : text);
        return false;
    }

    static GLuint link(GLuint vs, GLuint fs) {
        const GLuint program = glCreateProgram();
        if (program == 0) return 0;
        glAttachShader(program, vs);
        glAttachShader(program, fs);
        glLinkProgram(program);
        GLint ok = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        glDetachShader(program, vs);
        glDetachShader(program, fs);
        if (ok == GL_TRUE) return program;
        glDeleteProgram(program);
        return 0;
    }

    ShaderSources sources_;
    const void* device_ = nullptr;   // the device the pipeline was built for
    const void* current_ = nullptr;  // the device at hand for the calls now made
    GLuint solidProgram_ = 0, texturedProgram_ = 0, vertexArray_ = 0, vertexBuffer_ = 0, sampler_ = 0;
    SavedState saved_;
};

}  // namespace

ShaderSources defaultShaderSources() {
    return {kVertexSource, kSolidSource, kTexturedSource};
}

std::unique_ptr<Gpu> createOpenGlGpu(ShaderSources sources) {
    return std::make_unique<OpenGlGpu>(sources);
}

std::unique_ptr<Gpu> Gpu::create() {
    return createOpenGlGpu(defaultShaderSources());
}

}  // namespace qk::platform
