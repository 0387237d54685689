// The monitor list on Win32: EnumDisplayMonitors over the whole desktop, each
// monitor's full area (rcMonitor, taskbar included) from GetMonitorInfoW.
#include <windows.h>

#include <cstdlib>

#include "platform/monitors.h"
#include "platform/win32/wide_path.h"

namespace qk::platform {
namespace {

BOOL CALLBACK addMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    auto& out = *reinterpret_cast<std::vector<MonitorInfo>*>(data);
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    // A monitor that cannot be read is left out; the next ones move up.
    if (::GetMonitorInfoW(monitor, &info)) {
        MonitorInfo m;
        m.left = info.rcMonitor.left;
        m.top = info.rcMonitor.top;
        m.right = info.rcMonitor.right;
        m.bottom = info.rcMonitor.bottom;
        m.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
        m.deviceName = win32::narrow(info.szDevice);
        out.push_back(std::move(m));
    }
    return TRUE;
}

}  // namespace

std::vector<MonitorInfo> listMonitors() {
    if (const char* layout = std::getenv("QK_MONITORS"))
        if (auto standIn = parseMonitorLayout(layout)) return *standIn;
    std::vector<MonitorInfo> out;
    ::EnumDisplayMonitors(nullptr, nullptr, &addMonitor, reinterpret_cast<LPARAM>(&out));
    return out;
}

}  // namespace qk::platform
