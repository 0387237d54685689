#include <cstdlib>

#include "platform/files.h"
#include "platform/web_locations.h"

namespace qk::platform {

const char* const kWebEngineProfileName = "WebView";

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

std::string localDataFolder() {
    const char* value = std::getenv("XDG_DATA_HOME");
    if (value != nullptr && value[0] == '/') return value;
    const std::string home = homeFolder();
    if (home.empty()) return {};
    return home + "/.local/share";
}

}  // namespace qk::platform
