// POSIX keeps no per-user registry: callers keep their values in files.
#include "platform/user_values.h"

namespace qk::platform {

std::unique_ptr<UserValueStore> createUserValueStore() {
    return nullptr;
}

}  // namespace qk::platform
