// The Direct3D 11 backend's own knobs, for its tests: the HLSL texts it
// compiles with D3DCompile.
#pragma once

#include <memory>

#include "platform/gpu.h"
#include "platform/gpu_shaders.h"

namespace qk::platform {

std::unique_ptr<Gpu> createD3d11Gpu(ShaderSources sources);

}  // namespace qk::platform
