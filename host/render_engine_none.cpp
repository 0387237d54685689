// A host built without a video backend (Windows so far): the video-effect
// plug-ins load, but no render thread draws them.
#include "host/render_engine.h"

namespace qkhost {

struct RenderEngine::Impl final : vdj::VideoHostServices {
    vdj::Result VDJ_API DrawDeck() override { return vdj::kNotImplemented; }
    vdj::Result VDJ_API GetDevice(vdj::VideoEngine, void** device) override {
        if (device) *device = nullptr;
        return vdj::kNotImplemented;
    }
    vdj::Result VDJ_API GetTexture(vdj::VideoEngine, void** texture, vdj::Vertex** vertices) override {
        if (texture) *texture = nullptr;
        if (vertices) *vertices = nullptr;
        return vdj::kNotImplemented;
    }
};

RenderEngine::RenderEngine(RenderOptions) : impl_(std::make_unique<Impl>()) {}
RenderEngine::~RenderEngine() = default;
vdj::VideoHostServices* RenderEngine::services() { return impl_.get(); }
bool RenderEngine::start(std::vector<vdj::VideoFxPlugin*>, std::string* error) {
    if (error) *error = "this build has no video backend";
    return false;
}
void RenderEngine::stop() {}
void RenderEngine::wait() {}
std::vector<std::string> RenderEngine::capturedFrames() const { return {}; }

}  // namespace qkhost
