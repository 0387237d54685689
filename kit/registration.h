// The registration routine behind each deliverable's DllGetClassObject.
#pragma once

#include "kit/vdj_plugin.h"

namespace qk {

using PluginFactory = vdj::Plugin* (*)();

// Hands out a new plug-in object when the class is the plug-in class and the
// interface is the base interface or the deliverable's own type interface;
// otherwise nulls the out reference and refuses with kClassNotAvailable.
vdj::Result getClassObject(const vdj::Guid& classId, const vdj::Guid& interfaceId, void** object,
                           const vdj::Guid& ownTypeInterface, PluginFactory create);

}  // namespace qk
