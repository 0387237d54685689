// UTF-8 and UTF-16 for the Win32 backends: the seams speak UTF-8, the wide
// Win32 calls UTF-16. Malformed input becomes U+FFFD (no flags).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <cstdint>

namespace qk::platform::win32 {

inline std::wstring widen(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

inline std::string narrow(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// 100-nanosecond ticks since 1601-01-01 UTC.
inline std::int64_t fileTimeTicks(const FILETIME& t) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}
inline constexpr std::int64_t kTicksFrom1601To1970 = 116444736000000000LL;

}  // namespace qk::platform::win32
