// The OpenGL backend's own knobs, for its tests: the shader texts it compiles.
#pragma once

#include <memory>

#include "platform/gpu.h"
#include "platform/gpu_shaders.h"

namespace qk::platform {

std::unique_ptr<Gpu> createOpenGlGpu(ShaderSources sources);

}  // namespace qk::platform
