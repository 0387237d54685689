#include "tests/support/run_program_win32.h"

#include <windows.h>

#include "platform/win32/wide_path.h"
#include "tests/support/temp_dir.h"

namespace qktest {

using qk::platform::win32::widen;

Finished runProgram(const std::string& commandLine, const std::string& outputFile, unsigned long timeoutMs) {
    Finished done;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE out = ::CreateFileW(widen(outputFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    DWORD code = 1;
    ::GetExitCodeProcess(pi.hProcess, &code);
    done.exitCode = code;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    done.output = readFile(outputFile);
    return done;
}

}  // namespace qktest
