#include <time.h>

#include <chrono>

#include "platform/clock.h"

namespace qk::platform {
namespace {

CalendarTime fromTm(const struct tm& t, int ms) {
    return CalendarTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, ms};
}

CalendarTime now(bool local) {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
    const time_t secs = static_cast<time_t>(ms / 1000);
    struct tm t {};
    if (local)
        localtime_r(&secs, &t);
    else
        gmtime_r(&secs, &t);
    return fromTm(t, static_cast<int>(ms % 1000));
}

}  // namespace

double monotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

CalendarTime localTimeNow() { return now(true); }
CalendarTime utcTimeNow() { return now(false); }

std::int64_t unixTimeMillis() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace qk::platform
