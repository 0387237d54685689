// The deliverable's single export.
#include "kit/registration.h"
#include "overlay/overlay_plugin.h"

VDJ_EXPORT vdj::Result VDJ_API DllGetClassObject(const vdj::Guid& classId, const vdj::Guid& interfaceId,
                                                 void** object) {
    return qk::getClassObject(classId, interfaceId, object, vdj::kVideoFxInterface,
                              []() -> vdj::Plugin* { return new QuorvaleOverlay; });
}
