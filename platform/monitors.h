// Monitor list: the screens of the desktop in the system's enumeration order, with
// their full areas in desktop coordinates. GDK here, EnumDisplayMonitors on Windows.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qk::platform {

struct MonitorInfo {
    int left = 0, top = 0, right = 0, bottom = 0;  // the whole monitor area
    bool primary = false;
    std::string deviceName;  // the system's name for it, where it has one
};

// UI thread. Empty when there is no display. The environment variable
// QK_MONITORS, when set to a layout parseMonitorLayout accepts, stands in for the
// system's list: a multi-screen show can be tried out on one screen.
std::vector<MonitorInfo> listMonitors();

// "WxH+X+Y" entries separated by ';' (the first is the primary monitor), for
// example "1280x1024+0+0;1920x1080+1280+0". Nothing for an empty or malformed text.
std::optional<std::vector<MonitorInfo>> parseMonitorLayout(std::string_view text);

}  // namespace qk::platform
