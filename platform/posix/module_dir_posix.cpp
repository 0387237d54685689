#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <memory>

#include "platform/module_dir.h"

namespace qk::platform {

std::string moduleDirectory(const void* addressInModule) {
    if (addressInModule == nullptr) return {};
    Dl_info info{};
    if (::dladdr(addressInModule, &info) == 0 || info.dli_fname == nullptr) return {};
    // The loader keeps the name the host asked for, which may be relative to the
    // host's working folder: the page's file URL needs the absolute folder.
    std::unique_ptr<char, decltype(&::free)> resolved(::realpath(info.dli_fname, nullptr), &::free);
    const std::string name = resolved ? resolved.get() : info.dli_fname;
    const auto slash = name.rfind('/');
    if (slash == std::string::npos) return {};
    return name.substr(0, slash);
}

}  // namespace qk::platform
