#include "host/plugin_library.h"

namespace qkhost {

const char* kindName(PluginKind kind) {
    switch (kind) {
        case PluginKind::Dsp: return "dsp";
        case PluginKind::VideoFx: return "video effect";
        case PluginKind::StartStop: return "start/stop";
    }
    return "?";
}

PluginLibrary::~PluginLibrary() {
    // Plug-in libraries stay mapped until the process ends, as in the host: a
    // library may still have code on a thread the host does not know about
    // during shutdown, and the sanitizers' reports name its frames this way.
}

vdj::Plugin* PluginLibrary::create(PluginKind* kind) const {
    struct Candidate {
        const vdj::Guid* iid;
        PluginKind kind;
    };
    const Candidate candidates[] = {{&vdj::kDspInterface, PluginKind::Dsp},
                                    {&vdj::kVideoFxInterface, PluginKind::VideoFx},
                                    {&vdj::kStartStopInterface, PluginKind::StartStop}};
    for (const Candidate& c : candidates) {
        void* object = nullptr;
        if (getClassObject_(vdj::kPluginClass, *c.iid, &object) == vdj::kOk && object != nullptr) {
            if (kind) *kind = c.kind;
            return static_cast<vdj::Plugin*>(object);
        }
    }
    return nullptr;
}

}  // namespace qkhost
