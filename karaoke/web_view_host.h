// Where the manager page and the web engine's profile live: the page files beside
// the plug-in module, the profile in the user's data folder.
#pragma once

#include <string>
#include <string_view>

#include "kit/log.h"

namespace qk::karaoke {

// The page `name` under `folder`/QuorvaleKaraoke/ui/, else `folder`/ui/, as a file
// URL. Empty when the folder is empty (silently) or neither exists (logged).
std::string FindUiPage(const std::string& folder, std::string_view name, const LogFile& log);

// A local path as a file URL, with every byte outside the unreserved set and '/'
// percent-encoded.
std::string fileUrlFromPath(std::string_view path);

// The engine's profile folder, created with its parents:
// $XDG_DATA_HOME/QuorvaleKaraoke/WebView, else ~/.local/share/..., else a
// folder in the temporary folder; empty when none can be named.
std::string WebViewDataFolder();

// The folder of the user's settings for this plug-in:
// $XDG_CONFIG_HOME/QuorvaleKaraoke, else ~/.config/QuorvaleKaraoke (not created).
std::string settingsFolder();

}  // namespace qk::karaoke
