// The shared data folder, qkDir: the host's folder followed by "QuorvaleKaraoke".
#pragma once

#include <string>
#include <string_view>

#include "kit/vdj_plugin.h"

namespace qk {

// The folder name every deliverable appends to the host's folder.
inline constexpr std::string_view kDataFolderName = "QuorvaleKaraoke";

// Turns the host's folder text into qkDir: alternate separators become the
// separator, trailing separators go, then the separator and the folder name are
// appended. `altSeparator` '\0' means there is none.
std::string dataFolderFromHostText(std::string_view hostFolder, char separator, char altSeparator);

// qkDir + separator + name; empty when qkDir is empty.
std::string joinDataPath(const std::string& qkDir, std::string_view name);

// Asks the host for its folder ("get_vdj_folder"), derives qkDir, creates it and,
// before anything is logged, deletes the deliverable's log when it has grown past
// 1 MiB. Returns qkDir, empty when the host gave no folder.
std::string resolveDataFolder(vdj::HostServices* host, std::string_view logFileName);

}  // namespace qk
