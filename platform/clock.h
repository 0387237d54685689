// Clock seam.
#pragma once

#include <cstdint>

namespace qk::platform {

// Seconds on a monotonic clock with an arbitrary origin.
double monotonicSeconds();

struct CalendarTime {
    int year, month, day;  // month 1..12
    int hour, minute, second, millisecond;
};

CalendarTime localTimeNow();
CalendarTime utcTimeNow();
// Milliseconds since 1970-01-01 UTC.
std::int64_t unixTimeMillis();

}  // namespace qk::platform
