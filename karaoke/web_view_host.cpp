#include "karaoke/web_view_host.h"

#include <cstdlib>

#include "platform/files.h"

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

std::string fileUrlFromPath(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        const bool plain = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' ||
                           b == '.' || b == '_' || b == '~' || b == '/';
        if (plain) {
            url += c;
        } else {
            url += '%';
            url += kHex[b >> 4];
            url += kHex[b & 15];
        }
    }
    return url;
}

std::string FindUiPage(const std::string& folder, std::string_view name, const LogFile& log) {
    if (folder.empty()) return {};
    for (const char* sub : {"/QuorvaleKaraoke/ui/", "/ui/"}) {
        std::string path = folder + sub;
        path += name;
        if (platform::fileAttributes(path).exists) return fileUrlFromPath(path);
    }
    log.logLine("ui page NOT FOUND: %s (looked under %s)", std::string(name).c_str(), folder.c_str());
    return {};
}

std::string WebViewDataFolder() {
    std::string folder;
    const std::string data = xdgFolder("XDG_DATA_HOME", ".local/share");
    if (!data.empty()) {
        folder = data + "/QuorvaleKaraoke/WebView";
    } else {
        folder = platform::tempFolder() + "QuorvaleKaraoke-WebView";
    }
    platform::createFolders(folder);  // the engine reports its own trouble
    return folder;
}

std::string settingsFolder() {
    const std::string config = xdgFolder("XDG_CONFIG_HOME", ".config");
    return config.empty() ? std::string() : config + "/QuorvaleKaraoke";
}

}  // namespace qk::karaoke
