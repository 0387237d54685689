// The plain-text log of a deliverable: one time-stamped line per event, no levels.
// Every line opens and closes the file; no lock, no handle kept between lines.
#pragma once

#include <string>

// MinGW's "printf" archetype means Microsoft's format rules; the kit formats with
// the C++ library's vsnprintf, which follows the C standard's (%zu, %lld).
#if defined(_WIN32)
#define QK_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define QK_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#endif

namespace qk {

class LogFile {
public:
    // The sound board's and the overlay's log in qkDir: messages cut to 1023 bytes.
    // An empty path logs nothing.
    static LogFile companion(std::string path);
    // The karaoke plug-in's log, "QuorvaleKaraoke-win.log" in the temporary folder:
    // no length limit, two blanks after the time.
    static LogFile karaoke();

    LogFile() = default;

    void logLine(const char* format, ...) const QK_PRINTF_FORMAT(2, 3);
    const std::string& path() const { return path_; }

private:
    LogFile(std::string path, bool karaokeStyle) : path_(std::move(path)), karaokeStyle_(karaokeStyle) {}

    std::string path_;
    bool karaokeStyle_ = false;
};

}  // namespace qk
