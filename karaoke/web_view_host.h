// Where the manager page and the web engine's profile live: the page files beside
// the plug-in module, the profile in the user's data folder.
#pragma once

#include <string>
#include <string_view>

#include "kit/log.h"

namespace qk::karaoke {

// The page `name` under `folder`/QuorvaleKaraoke/ui/, else `folder`/ui/, as the
// platform's file URL. Empty when the folder is empty (silently) or neither
// exists (logged).
std::string FindUiPage(const std::string& folder, std::string_view name, const LogFile& log);

// The engine's profile folder, created with its parents: QuorvaleKaraoke/WebView
// in the local data folder ($XDG_DATA_HOME or ~/.local/share; on Windows the
// local application data folder and WebView2), else a folder in the temporary
// folder.
std::string WebViewDataFolder();

// The folder of the user's settings for this plug-in:
// $XDG_CONFIG_HOME/QuorvaleKaraoke, else ~/.config/QuorvaleKaraoke (not created).
std::string settingsFolder();

}  // namespace qk::karaoke
