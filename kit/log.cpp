#include "kit/log.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "kit/text.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace qk {

LogFile LogFile::companion(std::string path) { return LogFile(std::move(path), false); }

LogFile LogFile::karaoke() { return LogFile(platform::tempFolder() + "QuorvaleKaraoke-win.log", true); }

void LogFile::logLine(const char* format, ...) const {
    if (path_.empty()) return;
    std::string message;
    va_list args;
    va_start(args, format);
    if (!karaokeStyle_) {
        char buffer[1024];
        std::vsnprintf(buffer, sizeof buffer, format, args);  // longer messages are cut to 1023 bytes
        message = buffer;
    } else {
        va_list again;
        va_copy(again, args);
        const int n = std::vsnprintf(nullptr, 0, format, args);
        if (n > 0) {
            std::vector<char> buffer(static_cast<size_t>(n) + 1);
            std::vsnprintf(buffer.data(), buffer.size(), format, again);
            message.assign(buffer.data(), static_cast<size_t>(n));
        }
        va_end(again);
    }
    va_end(args);

    const platform::CalendarTime t = platform::localTimeNow();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, karaokeStyle_ ? "%02d:%02d:%02d.%03d  " : "%02d:%02d:%02d.%03d ", t.hour,
                  t.minute, t.second, t.millisecond);
    // The file holds UTF-8; a malformed message (or one cut inside a character)
    // is written with replacement characters, as a UTF-8 text stream would.
    std::string line = stamp;
    line += wideToUtf8(utf8ToWide(message));
    line += '\n';
    platform::appendToFile(path_, line);
}

}  // namespace qk
