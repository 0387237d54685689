// GPU seam: what the overlay asks of the host's video device. One backend per
// graphics API (OpenGL 3.3 core here, Direct3D 11 on Windows), each drawing with
// the device and render target the host has bound on its render thread.
#pragma once

#include <cstdint>

#include "kit/vdj_plugin.h"

namespace qk::platform {

// The device kind the overlay asks the host for (GetDevice). On Linux the answer
// is the host's current OpenGL context, used only to tell devices apart.
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

class Gpu {
public:
    virtual ~Gpu() = default;

    // An immutable texture from premultiplied BGRA rows (top row first, stride
    // width * 4); an empty texture when it cannot be made.
    virtual GpuTexture makeTextureFromBgra(const std::uint8_t* pixels, std::int32_t width, std::int32_t height) = 0;
    // Releases the texture and leaves it empty; an empty texture is left alone.
    virtual void releaseTexture(GpuTexture& texture) = 0;
    // Releases the pipeline objects and forgets the device they were made for,
    // so that the next frame builds them afresh for whatever device it gets.
    virtual void releasePipeline() = 0;
};

}  // namespace qk::platform
