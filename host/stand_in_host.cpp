#include "host/stand_in_host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>

#include "host/deck_script.h"

namespace qkhost {

StandInHost::StandInHost(std::string homeFolder, std::string logPath, int sampleRate)
    : home_(std::move(homeFolder)), logPath_(std::move(logPath)), decks_(sampleRate) {}

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
    // Outside the lock: a load decodes the whole song on this thread.
    try {
        return runScript(decks_, text);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qkhost: the script %s failed: %s\n", text.c_str(), e.what());
        return kScriptFailed;
    }
}

vdj::Result StandInHost::GetInfo(const char* query, double* result) {
    const std::string q = query ? query : "";
    {
        std::lock_guard lock(mutex_);
        log("getinfo " + q);
    }
    double value = 0;
    const vdj::Result r = queryNumber(decks_, q, &value);
    if (result) *result = value;
    return r;
}

vdj::Result StandInHost::GetStringInfo(const char* query, char* buffer, int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0) return -1;
    const std::string q = query ? query : "";
    std::string answer;
    {
        std::lock_guard lock(mutex_);
        log("getstring " + q);
    }
    vdj::Result r = vdj::kOk;
    if (q == "get_vdj_folder")
        answer = home_;
    else
        r = queryText(decks_, q, &answer);
    size_t n = std::min(answer.size(), static_cast<size_t>(bufferSize) - 1);
    // A cut answer ends before a whole character, never inside one (song titles are UTF-8).
    while (n > 0 && n < answer.size() && (static_cast<unsigned char>(answer[n]) & 0xC0) == 0x80) --n;
    std::memcpy(buffer, answer.data(), n);
    buffer[n] = '\0';
    return r;
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
#if defined(_WIN32)
    const char* local = std::getenv("LOCALAPPDATA");
    return std::string(local && *local ? local : ".") + "\\qkhost";
#else
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && *xdg == '/') return std::string(xdg) + "/qkhost";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/qkhost";
#endif
}

}  // namespace qkhost
