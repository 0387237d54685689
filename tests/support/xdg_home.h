// Points the user's settings and data folders ($XDG_CONFIG_HOME, $XDG_DATA_HOME)
// at fresh folders for the life of the object, so a test never reads or writes
// the real ones.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

#include "tests/support/temp_dir.h"

namespace qktest {

class XdgHome {
public:
    XdgHome() : config_(swap("XDG_CONFIG_HOME", dir_.file("config"))), data_(swap("XDG_DATA_HOME", dir_.file("data"))) {}
    ~XdgHome() {
        restore("XDG_CONFIG_HOME", config_);
        restore("XDG_DATA_HOME", data_);
    }
    std::string configHome() const { return dir_.file("config"); }
    std::string dataHome() const { return dir_.file("data"); }

private:
    static std::optional<std::string> swap(const char* name, const std::string& value) {
        const char* old = std::getenv(name);
        std::optional<std::string> kept;
        if (old != nullptr) kept = old;
        ::setenv(name, value.c_str(), 1);
        return kept;
    }
    static void restore(const char* name, const std::optional<std::string>& old) {
        if (old)
            ::setenv(name, old->c_str(), 1);
        else
            ::unsetenv(name);
    }

    TempDir dir_;
    std::optional<std::string> config_, data_;
};

}  // namespace qktest
