#include "kit/data_folder.h"

#include <array>
#include <cstring>

#include "platform/files.h"

namespace qk {

namespace {
constexpr std::int64_t kLogRotateBytes = 1048576;
}

std::string dataFolderFromHostText(std::string_view hostFolder, char separator, char altSeparator) {
    std::string dir(hostFolder);
    if (altSeparator != '\0')
        for (char& c : dir)
            if (c == altSeparator) c = separator;
    while (!dir.empty() && dir.back() == separator) dir.pop_back();
    dir += separator;
    dir += kDataFolderName;
    return dir;
}

std::string joinDataPath(const std::string& qkDir, std::string_view name) {
    if (qkDir.empty()) return {};
    std::string p = qkDir;
    p += platform::kPathSeparator;
    p += name;
    return p;
}

std::string resolveDataFolder(vdj::HostServices* host, std::string_view logFileName) {
    if (host == nullptr) return {};
    std::array<char, 1024> buffer{};
    if (host->GetStringInfo("get_vdj_folder", buffer.data(), static_cast<int>(buffer.size())) != 0) return {};
    buffer.back() = '\0';  // a host that fills the whole buffer still gives a terminated text
    if (buffer[0] == '\0') return {};
    const std::string qkDir =
        dataFolderFromHostText(std::string_view(buffer.data(), std::strlen(buffer.data())),
                               platform::kPathSeparator, platform::kAltPathSeparator);
    platform::createFolders(qkDir);  // an existing folder is fine; a failure shows up later
    const std::string log = joinDataPath(qkDir, logFileName);
    if (const auto size = platform::fileSize(log); size && *size > kLogRotateBytes) platform::removeFile(log);
    return qkDir;
}

}  // namespace qk
