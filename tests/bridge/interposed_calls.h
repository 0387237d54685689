// A few C library calls of the file service, seen by the test as they happen, so
// that a test can act at that moment (as another process could) or see the order.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qktest {

// Runs once, at the next fchmod or fsync the process makes after it is set.
void atNextFileChange(std::function<void()> action);

// The fsync calls made since the last clear: the descriptor's final path, and
// whether it was a folder.
struct SyncedFile {
    std::string path;
    bool folder = false;
};
std::vector<SyncedFile> syncedFiles();
void clearSyncedFiles();

}  // namespace qktest
