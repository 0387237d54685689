#include "sound/state_file.h"

#include "kit/json_access.h"
#include "platform/files.h"

namespace qk::sound {

std::vector<ActiveSound> listActiveSounds(const Voices& voices, int rate) {
    std::vector<ActiveSound> active;
    for (int i = 0; i < Voices::kCount; ++i) {
        const Voice& v = voices[i];
        if (v.state.load() != VoiceState::Playing || v.id.empty()) continue;
        // The position is the audio thread's; read unsynchronised it is at most a
        // block behind, which a progress figure tolerates.
        const std::int64_t left = static_cast<std::int64_t>(v.frameCount) - v.position.load(std::memory_order_relaxed);
        active.push_back({v.id, left > 0 ? left * 1000 / rate : 0});
    }
    return active;
}

std::string stateSignature(const std::vector<ActiveSound>& active) {
    std::string s = std::to_string(active.size()) + ":";
    for (const auto& a : active) {
        s += a.id;
        s += ',';
    }
    return s;
}

std::string stateFileText(const std::vector<ActiveSound>& active, std::int64_t unixMillis) {
    Json list = Json::array();
    for (const auto& a : active) list.push_back(Json{{"id", a.id}, {"rem", a.remainingMs}});
    const Json doc{{"active", std::move(list)}, {"at", unixMillis / 1000 * 1000}, {"v", 1}};
    return doc.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool replaceFileWhole(const std::string& path, std::string_view bytes) {
    const auto cut = path.find_last_of(platform::kPathSeparator);
    const std::string folder = cut == std::string::npos ? std::string(".")
                               : cut == 0               ? std::string(1, platform::kPathSeparator)
                                                        : path.substr(0, cut);
    const auto held = platform::Folder::open(folder);
    if (!held) return false;
    const std::string name = path.substr(cut == std::string::npos ? 0 : cut + 1);
    std::string temp;
    auto file = held->createReplacement("qks", name, temp);
    if (!file) return false;
    // No flush to the disk: the file is rewritten several times a second while
    // sounds play, and after a crash a stale progress figure harms nobody.
    bool ok = file->write(bytes.data(), bytes.size()) == static_cast<std::int64_t>(bytes.size());
    file.reset();
    if (ok) ok = held->replace(temp, name, /*durable=*/false);
    if (!ok) held->remove(temp);
    return ok;
}

}  // namespace qk::sound
