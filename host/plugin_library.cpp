#include "host/plugin_library.h"

#include <dlfcn.h>

namespace qkhost {

const char* kindName(PluginKind kind) {
    switch (kind) {
        case PluginKind::Dsp: return "dsp";
        case PluginKind::VideoFx: return "video effect";
        case PluginKind::StartStop: return "start/stop";
    }
    return "?";
}

std::unique_ptr<PluginLibrary> PluginLibrary::open(const std::string& path, std::string* error) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        if (error) *error = ::dlerror();
        return nullptr;
    }
    void* symbol = ::dlsym(handle, "DllGetClassObject");
    if (symbol == nullptr) {
        if (error) *error = "no DllGetClassObject in " + path;
        ::dlclose(handle);
        return nullptr;
    }
    std::unique_ptr<PluginLibrary> lib(new PluginLibrary);
    lib->handle_ = handle;
    lib->getClassObject_ = reinterpret_cast<vdj::GetClassObjectFn>(symbol);
    lib->path_ = path;
    return lib;
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
