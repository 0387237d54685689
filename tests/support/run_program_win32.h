// Runs a program to its end on Windows, its output and errors in a file.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/wide_path.h"
#include "tests/support/temp_dir.h"

namespace qktest {

struct Finished {
    DWORD exitCode = 1;
    std::string output;
};

// Runs the command line with its output and errors in `outputFile`; waits at
// most `timeoutMs`, then ends it with exit code 124.
inline Finished runProgram(const std::string& commandLine, const std::string& outputFile, DWORD timeoutMs = 60000) {
    using qk::platform::win32::widen;
    Finished done;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE out = ::CreateFileW(widen(outputFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return done;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi{};
    std::wstring line = widen(commandLine);
    const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    ::CloseHandle(out);
    if (!started) return done;
    if (::WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) ::TerminateProcess(pi.hProcess, 124);
    ::GetExitCodeProcess(pi.hProcess, &done.exitCode);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    done.output = readFile(outputFile);
    return done;
}

}  // namespace qktest
