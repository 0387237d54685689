// Runs a Windows program the way the tests start qkhost.exe: its output and
// errors into a file, its exit code and that output back.
#pragma once

#include <string>

namespace qktest {

struct Finished {
    unsigned long exitCode = 1;
    std::string output;
};

// Runs `commandLine` (UTF-8, quoted as CreateProcessW wants it) with standard
// output and errors in `outputFile`; a program still running after `timeoutMs` is
// terminated with exit code 124.
Finished runProgram(const std::string& commandLine, const std::string& outputFile, unsigned long timeoutMs = 60000);

}  // namespace qktest
