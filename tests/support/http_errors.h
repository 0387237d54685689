// The error numbers the HTTP backend of the build reports for a connection that
// is refused and for a time-out: libcurl's CURLcode on Linux, the Win32 error
// on Windows.
#pragma once

namespace qktest {

#ifdef _WIN32
inline constexpr unsigned long kRefusedError = 12029;  // ERROR_WINHTTP_CANNOT_CONNECT
// ERROR_WINHTTP_TIMEOUT; Wine 8 passes the socket's WSAETIMEDOUT through instead.
inline bool isTimeOutError(unsigned long error) { return error == 12002 || error == 10060; }
#else
inline constexpr unsigned long kRefusedError = 7;                     // CURLE_COULDNT_CONNECT
inline bool isTimeOutError(unsigned long error) { return error == 28; }  // CURLE_OPERATION_TIMEDOUT
#endif

}  // namespace qktest
