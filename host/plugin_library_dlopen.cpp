// Opening a plug-in library with the dynamic loader (Linux).
#include <dlfcn.h>

#include "host/plugin_library.h"

namespace qkhost {

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
    Dl_info info{};
    if (::dladdr(symbol, &info) != 0) lib->moduleHandle_ = info.dli_fbase;
    return lib;
}

}  // namespace qkhost
