// The GPU seam on OpenGL 3.3 core, drawing with the context the host made
// current on its render thread, into whatever framebuffer and viewport it bound.
#define GL_GLEXT_PROTOTYPES
#include "platform/opengl/gpu_opengl.h"

#include <EGL/egl.h>
#include <GL/gl.h>
#include <GL/glext.h>

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

struct SavedState {
    GLint program = 0, vertexArray = 0, arrayBuffer = 0;
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
        if (contextCurrent()) releasePipeline();
    }

    bool buildPipeline(std::string* failure) override {
        releasePipeline();
        context_ = eglGetCurrentContext();
        if (context_ == EGL_NO_CONTEXT) {
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
        if (!contextCurrent()) {
            // Another context (or none) is current: the objects go with their own.
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
        if (saved_.blend)
            glEnable(GL_BLEND);
        else
            glDisable(GL_BLEND);
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
        glEnable(GL_BLEND);
        glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        glBlendEquationSeparate(GL_FUNC_ADD, GL_FUNC_ADD);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }

    GpuTexture makeTextureFromBgra(const std::uint8_t* pixels, std::int32_t width, std::int32_t height) override {
        if (pixels == nullptr || width < 1 || height < 1 || eglGetCurrentContext() == EGL_NO_CONTEXT) return {};
        if (context_ == EGL_NO_CONTEXT) context_ = eglGetCurrentContext();
        GLint maxSize = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
        if (width > maxSize || height > maxSize) return {};
        GLint active = GL_TEXTURE0, previous = 0, alignment = 4, rowLength = 0;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
        glActiveTexture(GL_TEXTURE0);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
        GLuint name = 0;
        glGenTextures(1, &name);
        if (name == 0) {
            glActiveTexture(static_cast<GLenum>(active));
            return {};
        }
        glBindTexture(GL_TEXTURE_2D, name);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        while (glGetError() != GL_NO_ERROR) {
        }
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
        const bool ok = glGetError() == GL_NO_ERROR;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
        glActiveTexture(static_cast<GLenum>(active));
        if (!ok) {
            glDeleteTextures(1, &name);
            return {};
        }
        return {name, width, height};
    }

    void releaseTexture(GpuTexture& texture) override {
        if (texture.usable() && contextCurrent()) {
            const auto name = static_cast<GLuint>(texture.handle);
            glDeleteTextures(1, &name);
        }
        texture = {};
    }

private:
    bool contextCurrent() const { return context_ != EGL_NO_CONTEXT && eglGetCurrentContext() == context_; }

    void forgetPipeline() { solidProgram_ = texturedProgram_ = vertexArray_ = vertexBuffer_ = sampler_ = 0; }

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
    EGLContext context_ = EGL_NO_CONTEXT;
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
