#include "host/host_session.h"

namespace qkhost {

vdj::DspPlugin* LoadedPlugin::dsp() const {
    return kind == PluginKind::Dsp ? static_cast<vdj::DspPlugin*>(object) : nullptr;
}
vdj::VideoFxPlugin* LoadedPlugin::videoFx() const {
    return kind == PluginKind::VideoFx ? static_cast<vdj::VideoFxPlugin*>(object) : nullptr;
}
vdj::StartStopPlugin* LoadedPlugin::startStop() const {
    return kind == PluginKind::StartStop ? static_cast<vdj::StartStopPlugin*>(object) : nullptr;
}

HostSession::HostSession(HostOptions options)
    : options_(std::move(options)), host_(options_.home, options_.logPath, options_.sampleRate) {}

HostSession::~HostSession() { releaseAll(); }

LoadedPlugin* HostSession::load(const std::string& path, std::string* error) {
    auto library = PluginLibrary::open(path, error);
    if (!library) return nullptr;
    auto plugin = std::make_unique<LoadedPlugin>();
    plugin->object = library->create(&plugin->kind);
    if (plugin->object == nullptr) {
        if (error) *error = "the plug-in class was refused for every type interface: " + path;
        return nullptr;
    }
    plugin->library = std::move(library);

    // Host members first, as the host fills them before OnLoad.
    plugin->object->moduleHandle = plugin->library->moduleHandle();
    plugin->object->host = &host_;
    if (auto* dsp = plugin->dsp()) dsp->SampleRate = options_.sampleRate;
    if (auto* fx = plugin->videoFx()) {
        fx->SampleRate = options_.sampleRate;
        fx->width = options_.videoWidth;
        fx->height = options_.videoHeight;
        fx->video = options_.video;
    }

    plugin->object->OnLoad();
    plugins_.push_back(std::move(plugin));
    return plugins_.back().get();
}

void HostSession::release(LoadedPlugin& plugin) {
    if (plugin.released || plugin.object == nullptr) return;
    plugin.released = true;
    plugin.object->Release();
    plugin.object = nullptr;
}

void HostSession::releaseAll() {
    // Last loaded, first released.
    for (auto it = plugins_.rbegin(); it != plugins_.rend(); ++it) release(**it);
}

}  // namespace qkhost
