// The render engine's thread and its captured frames, shared by every platform's engine.
#include "host/render_engine_impl.h"

namespace qkhost {

RenderEngine::RenderEngine(RenderOptions options) : impl_(Impl::create()) {
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
