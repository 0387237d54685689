#include "karaoke/end_show_marker.h"

#include <cctype>
#include <cstdio>

#include "bridge/file_io.h"
#include "bridge/paths.h"
#include "kit/json_access.h"
#include "kit/text.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace qk::karaoke {

namespace {

std::optional<Json> readJsonFile(const std::string& path) {
    bridge::DecodedText text;
    std::string error;
    if (!bridge::readTextFile(path, text, error)) return std::nullopt;
    return parseJsonStrict(text.toUtf8());
}

bool hasJsonExtension(const std::string& name) {
    if (name.size() < 5) return false;
    std::string ext = name.substr(name.size() - 5);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".json";
}

std::size_t arraySize(const Json& object, const char* key) {
    const auto it = object.find(key);
    return (it != object.end() && it->is_array()) ? it->size() : 0;
}

// Windows takes '/' too, but the file service splits a path only at its own separator.
constexpr char kSep = platform::kPathSeparator;

}  // namespace

void writeEndShowMarker(const std::string& dataDir, const LogFile& log) {
    if (dataDir.empty()) return;
    const std::string d = bridge::canonicalizePath(dataDir);

    // Only an explicit false switches the marker off; anything unreadable keeps it on.
    if (const auto settings = readJsonFile(d + kSep + "settings.json"); settings && settings->is_object()) {
        const auto it = settings->find("endShowOnQuit");
        if (it != settings->end() && it->is_boolean() && !it->get<bool>()) return;
    }

    const std::string showsFolder = d + kSep + "shows";
    const auto entries = platform::listFolder(showsFolder);
    if (!entries) return;
    std::string newest;
    std::int64_t newestTime = 0;
    for (const auto& e : *entries) {
        if (e.isFolder || !hasJsonExtension(e.name)) continue;
        const auto version = platform::fileVersion(showsFolder + kSep + e.name);
        const std::int64_t t = version ? version->mtimeNanos : 0;
        if (newest.empty() || t > newestTime) {  // equal times keep the one listed first
            newest = e.name;
            newestTime = t;
        }
    }
    if (newest.empty()) return;

    const auto show = readJsonFile(showsFolder + kSep + newest);
    if (!show || !show->is_object()) return;
    const std::size_t rot = arraySize(*show, "queue");
    const std::size_t perf = arraySize(*show, "performances");
    if (rot == 0 && perf == 0) return;

    const platform::CalendarTime t = platform::utcTimeNow();
    char at[32];
    std::snprintf(at, sizeof at, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour, t.minute, t.second);
    // File names here are bytes; the marker holds them as UTF-8 text.
    const std::string name = asValidUtf8(newest);
    Json marker = Json::object();
    marker["ask"] = true;
    marker["at"] = at;
    marker["show"] = name;
    marker["rot"] = rot;
    marker["perf"] = perf;

    std::string error;
    if (bridge::writeFileAtomic(d + kSep + "pending-end-show.json", marker.dump(), error))
        log.logLine("end-show marker written (show=%s rot=%zu perf=%zu)", name.c_str(), rot, perf);
    else
        log.logLine("end-show marker FAILED: %s", error.c_str());
}

}  // namespace qk::karaoke
