// GPU seam: what the overlay asks of the host's video device. One backend per
// graphics API (OpenGL 3.3 core here, Direct3D 11 on Windows), each drawing with
// the device and render target the host has bound on its render thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "kit/vdj_plugin.h"
#include "platform/color.h"

namespace qk::platform {

// The device kind the overlay asks the host for (GetDevice). On Linux the answer
// is the host's current OpenGL context handle (EGL or GLX alike), used only to
// tell devices apart.
#if defined(_WIN32)
inline constexpr vdj::VideoEngine kHostVideoEngine = vdj::VideoEngine::DirectX11;
#else
inline constexpr vdj::VideoEngine kHostVideoEngine = vdj::VideoEngine::OpenGL;
#endif

// A texture made by a Gpu, in the backend's own terms: an OpenGL texture name,
// or the Direct3D 11 shader-resource view (which holds its texture). Owned by the
// member that holds it and handed back through Gpu::releaseTexture; the zero
// handle means no texture.
struct GpuTexture {
    std::uintptr_t handle = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    bool usable() const { return handle != 0; }
};

// One corner of a quad as the vertex buffer holds it (32 bytes): clip-space
// position, texture coordinates, premultiplied colour.
struct QuadVertex {
    float x, y, u, v;
    float r, g, b, a;
};
static_assert(sizeof(QuadVertex) == 32);

// The four corners of a quad given in output pixels (origin top left, y down)
// on an output of outW x outH, in triangle-strip order: bottom left, top left,
// bottom right, top right. Texture v runs down, so row 0 of a texture is its top.
inline std::array<QuadVertex, 4> quadVertices(float outW, float outH, float x, float y, float w, float h, Rgba c) {
    const float left = 2 * x / outW - 1, right = 2 * (x + w) / outW - 1;
    const float top = 1 - 2 * y / outH, bottom = 1 - 2 * (y + h) / outH;
    return {{{left, bottom, 0, 1, c.r, c.g, c.b, c.a},
             {left, top, 0, 0, c.r, c.g, c.b, c.a},
             {right, bottom, 1, 1, c.r, c.g, c.b, c.a},
             {right, top, 1, 0, c.r, c.g, c.b, c.a}}};
}

class Gpu {
public:
    virtual ~Gpu() = default;

    // The platform's backend: OpenGL 3.3 core, drawing with the context current
    // on the calling thread; on Windows Direct3D 11, drawing with the device
    // given to useDevice and its immediate context.
    static std::unique_ptr<Gpu> create();

    // The device the host handed over (what GetDevice answered) for the calls
    // that follow on this thread; null when none is at hand (the host let it go,
    // or the calls come from another thread). Objects that belong to another
    // device than the one at hand are let go without a call to the device.
    virtual void useDevice(const void* device) = 0;

    // Builds the shaders, vertex buffer and sampler for the device at hand. On
    // failure, false with the line to log in *failure; what was built is let go.
    virtual bool buildPipeline(std::string* failure) = 0;
    // Releases the pipeline objects, so that the next build starts afresh for
    // whatever device it gets.
    virtual void releasePipeline() = 0;

    // Captures every piece of device state drawQuad changes; restoreState puts
    // it all back, so that the host's own drawing continues unaffected.
    virtual void saveState() = 0;
    virtual void restoreState() = 0;

    // Draws one quad in output pixels on an output of outW x outH, filled with
    // the premultiplied colour, or with the texture multiplied by it, blended
    // with premultiplied alpha over the host's render target.
    virtual void drawQuad(float outW, float outH, float x, float y, float w, float h, const GpuTexture* texture,
                          Rgba color) = 0;

    // An immutable texture from premultiplied BGRA rows (top row first, stride
    // width * 4); an empty texture when it cannot be made.
    virtual GpuTexture makeTextureFromBgra(const std::uint8_t* pixels, std::int32_t width, std::int32_t height) = 0;
    // Releases the texture and leaves it empty; an empty texture is left alone.
    virtual void releaseTexture(GpuTexture& texture) = 0;
};

}  // namespace qk::platform
