#include <dlfcn.h>

#include "platform/module_dir.h"

namespace qk::platform {

std::string moduleDirectory(const void* addressInModule) {
    if (addressInModule == nullptr) return {};
    Dl_info info{};
    if (::dladdr(addressInModule, &info) == 0 || info.dli_fname == nullptr) return {};
    const std::string name = info.dli_fname;
    const auto slash = name.rfind('/');
    if (slash == std::string::npos) return {};
    return name.substr(0, slash);
}

}  // namespace qk::platform
