// The OpenGL backend's own knobs, for its tests: the shader texts it compiles.
#pragma once

#include <memory>

#include "platform/gpu.h"

namespace qk::platform {

struct ShaderSources {
    const char* vertex;
    const char* solid;
    const char* textured;
};

ShaderSources defaultShaderSources();
std::unique_ptr<Gpu> createOpenGlGpu(ShaderSources sources);

}  // namespace qk::platform
