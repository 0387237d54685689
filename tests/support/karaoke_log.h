// Points the karaoke plug-in's log (kept in the temporary folder) at a fresh
// folder for the life of the object, so a test can read exactly its own lines.
#pragma once

#include <cstdlib>
#include <string>

#include "tests/support/env.h"
#include "tests/support/temp_dir.h"

namespace qktest {

class KaraokeLogCapture {
public:
    KaraokeLogCapture() {
        const char* old = std::getenv(kTempFolderVariable);
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        setEnv(kTempFolderVariable, dir_.path());
    }
    ~KaraokeLogCapture() {
        if (hadOld_)
            setEnv(kTempFolderVariable, old_);
        else
            unsetEnv(kTempFolderVariable);
    }
    std::string text() const { return readFile(dir_.file("QuorvaleKaraoke-win.log")); }
    // Forgets the lines so far (the plug-in appends to the same file).
    void clear() const { writeFile(dir_.file("QuorvaleKaraoke-win.log"), ""); }
    // True when some line ends with the message (after the time stamp).
    bool hasLine(const std::string& message) const {
        const std::string t = text();
        return t.find("  " + message + "\n") != std::string::npos;
    }

private:
    TempDir dir_;
    std::string old_;
    bool hadOld_ = false;
};

}  // namespace qktest
