// Hash seam.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qk::platform {

using Sha256Digest = std::array<std::uint8_t, 32>;

// Nothing when the platform's hashing fails.
std::optional<Sha256Digest> sha256(std::string_view data);

}  // namespace qk::platform
