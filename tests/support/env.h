// Setting and clearing environment variables in a test, on either platform.
#pragma once

#include <cstdlib>
#include <string>

namespace qktest {

// The variable that names the user's temporary folder.
#if defined(_WIN32)
inline constexpr const char* kTempFolderVariable = "TMP";
#else
inline constexpr const char* kTempFolderVariable = "TMPDIR";
#endif

inline void setEnv(const char* name, const std::string& value) {
#if defined(_WIN32)
    ::_putenv_s(name, value.c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

inline void unsetEnv(const char* name) {
#if defined(_WIN32)
    ::_putenv_s(name, "");  // an empty value removes it
#else
    ::unsetenv(name);
#endif
}

}  // namespace qktest
