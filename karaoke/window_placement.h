// The main window's stored placement: a 44-byte record of eleven 32-bit
// little-endian fields (length, flags, show state, minimised and maximised
// positions, normal rectangle), kept as the binary value WindowPlacement of the
// platform's per-user store where it has one (the registry on Windows), else in
// the file WindowPlacement in the user's settings folder. The same bytes in
// both, so a record moves between the two unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qk::karaoke {

inline constexpr std::size_t kPlacementBytes = 44;
inline constexpr std::uint32_t kShowNormal = 1;
inline constexpr std::uint32_t kShowMinimised = 2;
inline constexpr std::uint32_t kShowMaximised = 3;

struct PlacementRecord {
    std::uint32_t length = kPlacementBytes;
    std::uint32_t flags = 0;
    std::uint32_t showCmd = kShowNormal;
    std::int32_t minX = -1, minY = -1, maxX = -1, maxY = -1;
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Nothing unless there are exactly 44 bytes and the length field says 44.
std::optional<PlacementRecord> parsePlacement(std::string_view bytes);
std::string serializePlacement(const PlacementRecord& record);

// The file the record lives in; empty when no settings folder can be named.
std::string placementFilePath();
// The stored record, if one is there and valid.
std::optional<PlacementRecord> loadPlacement(const std::string& path);
// Writes the record (a minimised window is stored as normal); errors are silent.
void storePlacement(const std::string& path, PlacementRecord record);

// The record where this platform keeps it: the per-user store, else the file.
std::optional<PlacementRecord> loadStoredPlacement();
void saveStoredPlacement(const PlacementRecord& record);

}  // namespace qk::karaoke
