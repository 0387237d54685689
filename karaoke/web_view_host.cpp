#include "karaoke/web_view_host.h"

#include <cstdlib>

#include "platform/files.h"
#include "platform/web_locations.h"

namespace qk::karaoke {
namespace {

// An XDG base folder: the variable when it holds an absolute path, else the
// fallback under the home folder.
std::string xdgFolder(const char* variable, const char* homeRelative) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') return value;
    const std::string home = platform::homeFolder();
    if (home.empty()) return {};
    return home + "/" + homeRelative;
}

}  // namespace

std::string FindUiPage(const std::string& folder, std::string_view name, const LogFile& log) {
    if (folder.empty()) return {};
    const std::string sep(1, platform::kPathSeparator);
    for (const std::string& sub : {sep + "QuorvaleKaraoke" + sep + "ui" + sep, sep + "ui" + sep}) {
        std::string path = folder + sub;
        path += name;
        if (platform::fileAttributes(path).exists) return platform::fileUrlFromPath(path);
    }
    log.logLine("ui page NOT FOUND: %s (looked under %s)", std::string(name).c_str(), folder.c_str());
    return {};
}

std::string WebViewDataFolder() {
    std::string folder;
    const std::string data = platform::localDataFolder();
    if (!data.empty()) {
        folder = data + platform::kPathSeparator + "QuorvaleKaraoke" + platform::kPathSeparator +
                 platform::kWebEngineProfileName;
    } else {
        folder = platform::tempFolder() + "QuorvaleKaraoke-" + platform::kWebEngineProfileName;
    }
    platform::createFolders(folder);  // the engine reports its own trouble
    return folder;
}

std::string settingsFolder() {
    const std::string config = xdgFolder("XDG_CONFIG_HOME", ".config");
    return config.empty() ? std::string() : config + "/QuorvaleKaraoke";
}

}  // namespace qk::karaoke
