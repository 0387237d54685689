#include "karaoke/window_placement.h"

#include <cstring>

#include "bridge/file_io.h"
#include "karaoke/web_view_host.h"
#include "kit/file_read.h"
#include "platform/files.h"
#include "platform/user_values.h"

namespace qk::karaoke {
namespace {

std::uint32_t readU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
void writeU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

constexpr char kPlacementValue[] = "WindowPlacement";

// What is stored: a minimised window comes back as a normal one.
PlacementRecord asStored(PlacementRecord record) {
    if (record.showCmd == kShowMinimised) record.showCmd = kShowNormal;
    record.length = kPlacementBytes;
    return record;
}

}  // namespace

std::optional<PlacementRecord> parsePlacement(std::string_view bytes) {
    if (bytes.size() != kPlacementBytes) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::uint32_t f[11];
    for (int i = 0; i < 11; ++i) f[i] = readU32(p + 4 * i);
    if (f[0] != kPlacementBytes) return std::nullopt;
    PlacementRecord r;
    r.length = f[0];
    r.flags = f[1];
    r.showCmd = f[2];
    std::int32_t* signedFields[] = {&r.minX, &r.minY, &r.maxX, &r.maxY, &r.left, &r.top, &r.right, &r.bottom};
    for (int i = 0; i < 8; ++i) *signedFields[i] = static_cast<std::int32_t>(f[3 + i]);
    return r;
}

std::string serializePlacement(const PlacementRecord& r) {
    std::string out;
    out.reserve(kPlacementBytes);
    for (std::uint32_t v : {r.length, r.flags, r.showCmd})
        writeU32(out, v);
    for (std::int32_t v : {r.minX, r.minY, r.maxX, r.maxY, r.left, r.top, r.right, r.bottom})
        writeU32(out, static_cast<std::uint32_t>(v));
    return out;
}

std::string placementFilePath() {
    const std::string folder = settingsFolder();
    return folder.empty() ? std::string() : folder + "/WindowPlacement";
}

std::optional<PlacementRecord> loadPlacement(const std::string& path) {
    if (path.empty()) return std::nullopt;
    const auto bytes = readWholeFile(path);
    if (!bytes) return std::nullopt;
    return parsePlacement(*bytes);
}

void storePlacement(const std::string& path, PlacementRecord record) {
    if (path.empty()) return;
    record = asStored(record);
    const auto slash = path.rfind('/');
    if (slash != std::string::npos) platform::createFolders(path.substr(0, slash));
    std::string error;
    bridge::writeFileAtomic(path, serializePlacement(record), error);
}

std::optional<PlacementRecord> loadStoredPlacement() {
    if (const auto store = platform::createUserValueStore()) {
        const auto bytes = store->readBinary(kPlacementValue);
        return bytes ? parsePlacement(*bytes) : std::nullopt;
    }
    return loadPlacement(placementFilePath());
}

void saveStoredPlacement(const PlacementRecord& record) {
    if (const auto store = platform::createUserValueStore()) {
        store->writeBinary(kPlacementValue, serializePlacement(asStored(record)));  // errors are silent
        return;
    }
    storePlacement(placementFilePath(), record);
}

}  // namespace qk::karaoke
