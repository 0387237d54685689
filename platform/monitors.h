// Monitor list: the screens of the desktop in the system's enumeration order, with
// their full areas in desktop coordinates. GDK here, EnumDisplayMonitors on Windows.
#pragma once

#include <string>
#include <vector>

namespace qk::platform {

struct MonitorInfo {
    int left = 0, top = 0, right = 0, bottom = 0;  // the whole monitor area
    bool primary = false;
    std::string deviceName;  // the system's name for it, where it has one
};

// UI thread. Empty when there is no display.
std::vector<MonitorInfo> listMonitors();

}  // namespace qk::platform
