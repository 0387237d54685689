// The host services qkhost hands to every plug-in.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "host/decks.h"
#include "kit/vdj_plugin.h"

namespace qkhost {

struct DeclaredParameter {
    int kind;
    int id;
    std::string name;
    std::string shortName;
    float defaultValue;
};

class StandInHost final : public vdj::HostServices {
public:
    // `homeFolder` is answered to "get_vdj_folder"; `logPath` (may be empty) is the
    // host's own log of every script and query the plug-ins send. Scripts and
    // queries drive two decks that play at `sampleRate` (see deck_script.h).
    StandInHost(std::string homeFolder, std::string logPath, int sampleRate = 48000);

    vdj::Result VDJ_API SendCommand(const char* script) override;
    vdj::Result VDJ_API GetInfo(const char* query, double* result) override;
    vdj::Result VDJ_API GetStringInfo(const char* query, char* buffer, int bufferSize) override;
    vdj::Result VDJ_API DeclareParameter(void* storage, int kind, int id, const char* name, const char* shortName,
                                         float defaultValue) override;
    vdj::Result VDJ_API GetSongBuffer(int position, int frames, short** buffer) override;

    std::vector<DeclaredParameter> declaredParameters() const;
    std::vector<std::string> commands() const;  // every SendCommand text, in order
    const std::string& homeFolder() const { return home_; }
    Decks& decks() { return decks_; }

private:
    void log(const std::string& line);

    std::string home_;
    std::string logPath_;
    mutable std::mutex mutex_;
    std::vector<DeclaredParameter> parameters_;
    std::vector<std::string> commands_;
    Decks decks_;
};

// The default home folder: $XDG_DATA_HOME/qkhost (else ~/.local/share/qkhost).
std::string defaultHomeFolder();

}  // namespace qkhost
