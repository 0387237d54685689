#include <windows.h>

#include "platform/clock.h"
#include "platform/win32/wide_path.h"

namespace qk::platform {
namespace {

CalendarTime fromSystemTime(const SYSTEMTIME& t) {
    return CalendarTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

}  // namespace

double monotonicSeconds() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

CalendarTime localTimeNow() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    return fromSystemTime(t);
}

CalendarTime utcTimeNow() {
    SYSTEMTIME t;
    ::GetSystemTime(&t);
    return fromSystemTime(t);
}

std::int64_t unixTimeMillis() {
    FILETIME t;
    ::GetSystemTimeAsFileTime(&t);
    return (win32::fileTimeTicks(t) - win32::kTicksFrom1601To1970) / 10000;
}

}  // namespace qk::platform
