#pragma once

#include <optional>
#include <string>

namespace qk {

inline constexpr long long kMaxWholeFileBytes = 67108864;  // 64 MiB

// The whole file's bytes, or nothing when it cannot be opened, is empty, is
// larger than 64 MiB, or the read fails. Writers may keep the file open.
std::optional<std::string> readWholeFile(const std::string& path);

}  // namespace qk
