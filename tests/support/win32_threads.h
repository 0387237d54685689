// The threads of this process, from a Toolhelp snapshot (Windows).
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <set>

namespace qktest {

inline int processThreadCount() {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    int n = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ++n;
    ::CloseHandle(snapshot);
    return n;
}

// Their identifiers.
inline std::set<unsigned long> processThreadIds() {
    std::set<unsigned long> ids;
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
    ::CloseHandle(snapshot);
    return ids;
}

}  // namespace qktest
