// Runs a shell command and captures what it prints on standard output.
#pragma once

#include <cstdio>
#include <string>

namespace qktest {

struct CommandResult {
    int exitCode = -1;
    std::string output;
};

inline CommandResult runCommand(const std::string& command) {
    CommandResult result;
#if defined(_WIN32)
    FILE* pipe = ::_popen(command.c_str(), "rb");
#else
    FILE* pipe = ::popen(command.c_str(), "r");
#endif
    if (pipe == nullptr) return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
#if defined(_WIN32)
    result.exitCode = ::_pclose(pipe);
#else
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return result;
}

}  // namespace qktest
