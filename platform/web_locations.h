// Where the web engine finds the plug-in's pages and keeps its profile, in the
// platform's own terms: the file URL of a local path, and the per-user folder
// for local application data.
#pragma once

#include <string>
#include <string_view>

namespace qk::platform {

// A local path as the file URL the platform's browser engine expects.
std::string fileUrlFromPath(std::string_view path);

// The per-user folder for application data that stays on this machine
// ($XDG_DATA_HOME, else ~/.local/share here; the local application data folder
// on Windows); empty when none can be named.
std::string localDataFolder();

// The name of the engine's profile folder under the plug-in's own folder there.
extern const char* const kWebEngineProfileName;

}  // namespace qk::platform
