// One qkhost session: the plug-ins it loaded, their host members and the order of
// calls. The UI, render and audio threads hang off this object.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/plugin_library.h"
#include "host/stand_in_host.h"

namespace qkhost {

struct HostOptions {
    std::string home;          // answered to "get_vdj_folder"
    std::string logPath;       // the host's own log; empty for none
    int sampleRate = 48000;    // the audio engine's rate
    int videoWidth = 1920;     // the video output's size
    int videoHeight = 1080;
    vdj::VideoHostServices* video = nullptr;  // handed to every video effect before OnLoad
};

struct LoadedPlugin {
    std::unique_ptr<PluginLibrary> library;
    vdj::Plugin* object = nullptr;
    PluginKind kind = PluginKind::Dsp;
    bool released = false;

    vdj::DspPlugin* dsp() const;
    vdj::VideoFxPlugin* videoFx() const;
    vdj::StartStopPlugin* startStop() const;
};

class HostSession {
public:
    explicit HostSession(HostOptions options);
    ~HostSession();  // releases whatever is still loaded

    // Opens the library, creates the object, fills the host members and calls
    // OnLoad. Nothing (and the reason in *error) when any step fails.
    LoadedPlugin* load(const std::string& path, std::string* error);
    // Calls Release once; the object is gone afterwards.
    void release(LoadedPlugin& plugin);
    void releaseAll();

    StandInHost& host() { return host_; }
    const HostOptions& options() const { return options_; }
    std::vector<std::unique_ptr<LoadedPlugin>>& plugins() { return plugins_; }

private:
    HostOptions options_;
    StandInHost host_;
    std::vector<std::unique_ptr<LoadedPlugin>> plugins_;
};

}  // namespace qkhost
