#include "host/stand_in_host.h"

#include <cstdlib>
#include <cstring>
#include <fstream>

namespace qkhost {

StandInHost::StandInHost(std::string homeFolder, std::string logPath)
    : home_(std::move(homeFolder)), logPath_(std::move(logPath)) {}

void StandInHost::log(const std::string& line) {
    if (logPath_.empty()) return;
    std::ofstream out(logPath_, std::ios::app);
    out << line << '\n';
}

vdj::Result StandInHost::SendCommand(const char* script) {
    const std::string text = script ? script : "";
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(text);
        log("send " + text);
    }
    return 0;
}

vdj::Result StandInHost::GetInfo(const char* query, double* result) {
    std::lock_guard lock(mutex_);
    log(std::string("getinfo ") + (query ? query : ""));
    if (result) *result = 0;
    return 0;
}

vdj::Result StandInHost::GetStringInfo(const char* query, char* buffer, int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0) return -1;
    const std::string q = query ? query : "";
    std::string answer;
    {
        std::lock_guard lock(mutex_);
        log("getstring " + q);
    }
    if (q == "get_vdj_folder") answer = home_;
    const size_t n = std::min(answer.size(), static_cast<size_t>(bufferSize) - 1);
    std::memcpy(buffer, answer.data(), n);
    buffer[n] = '\0';
    return 0;
}

vdj::Result StandInHost::DeclareParameter(void*, int kind, int id, const char* name, const char* shortName,
                                          float defaultValue) {
    std::lock_guard lock(mutex_);
    parameters_.push_back({kind, id, name ? name : "", shortName ? shortName : "", defaultValue});
    return 0;
}

vdj::Result StandInHost::GetSongBuffer(int, int, short**) { return vdj::kNotImplemented; }

std::vector<DeclaredParameter> StandInHost::declaredParameters() const {
    std::lock_guard lock(mutex_);
    return parameters_;
}

std::vector<std::string> StandInHost::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::string defaultHomeFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && *xdg == '/') return std::string(xdg) + "/qkhost";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/qkhost";
}

}  // namespace qkhost
