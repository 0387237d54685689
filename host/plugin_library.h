// Loads a plug-in library the way the host does: dlopen (LoadLibraryW on Windows),
// then DllGetClassObject with the plug-in class and a type interface. Never linked.
#pragma once

#include <memory>
#include <string>

#include "kit/vdj_plugin.h"

namespace qkhost {

enum class PluginKind { Dsp, VideoFx, StartStop };

const char* kindName(PluginKind kind);

class PluginLibrary {
public:
    // Opens the library and finds its DllGetClassObject; nothing on failure, with
    // the reason in *error.
    static std::unique_ptr<PluginLibrary> open(const std::string& path, std::string* error);
    ~PluginLibrary();

    vdj::GetClassObjectFn getClassObject() const { return getClassObject_; }
    const std::string& path() const { return path_; }
    // What the host hands each plug-in as its module handle: the library's base
    // address (on Windows its HMODULE, which is the same thing).
    void* moduleHandle() const { return moduleHandle_; }

    // Asks for the plug-in with each type interface in turn, as the host does for
    // the plug-in folders it knows; the first one accepted tells the kind.
    vdj::Plugin* create(PluginKind* kind) const;

private:
    PluginLibrary() = default;
    void* handle_ = nullptr;
    void* moduleHandle_ = nullptr;
    vdj::GetClassObjectFn getClassObject_ = nullptr;
    std::string path_;
};

}  // namespace qkhost
