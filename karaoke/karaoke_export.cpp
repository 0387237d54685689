// The deliverable's single export.
#include "karaoke/karaoke_plugin.h"
#include "kit/registration.h"

VDJ_EXPORT vdj::Result VDJ_API DllGetClassObject(const vdj::Guid& classId, const vdj::Guid& interfaceId,
                                                 void** object) {
    return qk::getClassObject(classId, interfaceId, object, vdj::kStartStopInterface,
                              []() -> vdj::Plugin* { return new QuorvaleKaraokePlugin; });
}
