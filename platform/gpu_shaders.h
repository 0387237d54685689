// The shader texts a GPU backend compiles, in its own shading language: the
// backends' tests hand in broken ones to see how a failure is reported.
#pragma once

namespace qk::platform {

struct ShaderSources {
    const char* vertex;
    const char* solid;
    const char* textured;
};

// The texts the backend's Gpu::create compiles.
ShaderSources defaultShaderSources();

}  // namespace qk::platform
