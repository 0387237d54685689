// Where a loaded module lives: the folder of the shared library that contains an
// address (the host hands each plug-in the base address of its module). dladdr
// here, GetModuleFileNameW on Windows.
#pragma once

#include <string>

namespace qk::platform {

// The module's folder without a trailing separator; empty when the address lies
// in no module or the module's file name has no folder part.
std::string moduleDirectory(const void* addressInModule);

}  // namespace qk::platform
