#include "kit/registration.h"

#include <cstring>
#include <new>

namespace vdj {

bool sameGuid(const Guid& a, const Guid& b) {
    // Compared as two 64-bit halves, as the host does.
    std::uint64_t ha[2], hb[2];
    std::memcpy(ha, &a, sizeof ha);
    std::memcpy(hb, &b, sizeof hb);
    return ha[0] == hb[0] && ha[1] == hb[1];
}

}  // namespace vdj

namespace qk {

vdj::Result getClassObject(const vdj::Guid& classId, const vdj::Guid& interfaceId, void** object,
                           const vdj::Guid& ownTypeInterface, PluginFactory create) {
    if (object == nullptr) return vdj::kClassNotAvailable;
    *object = nullptr;
    if (!vdj::sameGuid(classId, vdj::kPluginClass)) return vdj::kClassNotAvailable;
    if (!vdj::sameGuid(interfaceId, vdj::kBasePluginInterface) && !vdj::sameGuid(interfaceId, ownTypeInterface))
        return vdj::kClassNotAvailable;
    try {
        *object = create();
    } catch (...) {
        return static_cast<vdj::Result>(0x8007000Eu);  // E_OUTOFMEMORY
    }
    return vdj::kOk;
}

}  // namespace qk
