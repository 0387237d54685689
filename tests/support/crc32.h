// The CRC-32 that PNG chunks carry, for tests that write picture files by hand.
#pragma once

#include <cstdint>
#include <string_view>

namespace qktest {

inline std::uint32_t crc32(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

}  // namespace qktest
