// qkhost: the stand-in host. Loads the kit's plug-ins through DllGetClassObject and
// drives them as the DJ host would.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/host_session.h"
#include "host/run_command.h"

namespace {

const char* kUsage =
    "usage: qkhost [options] COMMAND PLUGIN...\n"
    "\n"
    "Stand-in host for the QuorvaleKaraoke plug-ins. Each PLUGIN is the path of a\n"
    "plug-in library (QuorvaleKaraoke.so, QuorvaleOverlay.so, QuorvaleSound.so); it is\n"
    "opened with dlopen and asked for its plug-in object through DllGetClassObject,\n"
    "never linked.\n"
    "\n"
    "commands:\n"
    "  info PLUGIN...    load each plug-in (host members, OnLoad), print its info\n"
    "                    record and the parameters it declared, then Release it\n"
    "  run PLUGIN...     run the show: load the plug-ins, OnStart, then an audio\n"
    "                    thread calls OnProcessSamples of every DSP plug-in in real\n"
    "                    time and sends the master output to the sound device (if\n"
    "                    any) and to a WAV file (--wav, or <home>/qkhost-master.wav\n"
    "                    when headless), and a render thread draws the video output\n"
    "                    (deck picture, then OnDraw of every video effect) and\n"
    "                    captures frames on request; at the end OnStop and Release\n"
    "\n"
    "options:\n"
    "  --home DIR        the host's home folder, answered to \"get_vdj_folder\"; the\n"
    "                    plug-ins keep their data in DIR/QuorvaleKaraoke\n"
    "                    (default: $XDG_DATA_HOME/qkhost or ~/.local/share/qkhost)\n"
    "  --host-log FILE   append every script and query the plug-ins send to FILE\n"
    "  --rate HZ         the audio engine's sample rate (default 48000)\n"
    "  --size WxH        the video output's size (default 1920x1080)\n"
    "  -h, --help        show this text\n"
    "\n"
    "run options:\n"
    "  --block N         frames per audio block (default 512)\n"
    "  --seconds S       run for S seconds (default: until SIGINT or SIGTERM)\n"
    "  --music FILE      load FILE on deck 1 and play it from the start\n"
    "  --wav FILE        also write the master output to FILE (32-bit float WAV)\n"
    "  --headless        use no sound device even when there is one\n"
    "  --fps N           video frames per second (default 30); every video effect\n"
    "                    draws on the render thread (OpenGL 3.3 core through EGL)\n"
    "  --background PNG  the deck picture the effects draw over (default: a test card)\n"
    "  --frames DIR      write captured video frames to DIR as PNG files\n"
    "  --frame-every N   capture every N-th frame\n"
    "  --frame-at T,...  capture the frames at these times in seconds\n"
    "  --pad N@T         press pad button N (1-4) of every start/stop plug-in T\n"
    "                    seconds after the start (repeatable; needs a display);\n"
    "                    keys 1-4 in the video window press them by hand\n"
    "  --script T@SCRIPT send the DJ script SCRIPT to the host T seconds after the\n"
    "                    start, as a plug-in would (repeatable), e.g.\n"
    "                    --script \"0@deck 1 load '/music/a.mp3' & deck 1 play\"\n"
    "\n"
    "decks: the host has two decks mixed into the master output before the DSP\n"
    "plug-ins. Scripts (SendCommand) understand [deck N] load 'FILE', unload, play,\n"
    "pause, stop, play_pause, volume P%, chained with &; queries (GetInfo,\n"
    "GetStringInfo) understand [deck N] play, get_position, get_songlength,\n"
    "get_title, get_artist, get_filepath. N is 1 or 2 (default 1).\n";

void printInfo(const qkhost::LoadedPlugin& plugin, qkhost::StandInHost& host) {
    vdj::PluginInfo info{};
    const vdj::Result r = plugin.object->OnGetPluginInfo(&info);
    std::printf("%s\n", plugin.library->path().c_str());
    std::printf("  type:        %s\n", qkhost::kindName(plugin.kind));
    if (r != vdj::kOk) {
        std::printf("  info:        refused (0x%08X)\n", static_cast<unsigned>(r));
        return;
    }
    auto text = [](const char* s) { return s ? s : "(null)"; };
    std::printf("  name:        %s\n", text(info.name));
    std::printf("  author:      %s\n", text(info.author));
    std::printf("  description: %s\n", text(info.description));
    std::printf("  version:     %s\n", text(info.version));
    std::printf("  picture:     %s\n", info.picture ? "set" : "none");
    std::printf("  flags:       0x%X\n", info.flags);
    const auto params = host.declaredParameters();
    if (params.empty()) std::printf("  parameters:  none\n");
    for (const auto& p : params)
        std::printf("  parameter:   id %d kind %d \"%s\" (\"%s\") default %g\n", p.id, p.kind, p.name.c_str(),
                    p.shortName.c_str(), static_cast<double>(p.defaultValue));
}

int commandInfo(const qkhost::HostOptions& options, const std::vector<std::string>& paths) {
    int failures = 0;
    for (const std::string& path : paths) {
        // One session per plug-in so that each one's declared parameters stand alone.
        qkhost::HostSession session(options);
        std::string error;
        qkhost::LoadedPlugin* plugin = session.load(path, &error);
        if (plugin == nullptr) {
            std::fprintf(stderr, "qkhost: cannot load %s: %s\n", path.c_str(), error.c_str());
            ++failures;
            continue;
        }
        printInfo(*plugin, session.host());
        session.release(*plugin);
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    qkhost::HostOptions options;
    qkhost::RunOptions run;
    options.home = qkhost::defaultHomeFolder();
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* name) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "qkhost: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--home") {
            options.home = value("--home");
        } else if (a == "--host-log") {
            options.logPath = value("--host-log");
        } else if (a == "--rate") {
            options.sampleRate = std::atoi(value("--rate").c_str());
        } else if (a == "--block") {
            run.blockFrames = std::atoi(value("--block").c_str());
        } else if (a == "--seconds") {
            run.seconds = std::atof(value("--seconds").c_str());
        } else if (a == "--music") {
            run.musicPath = value("--music");
        } else if (a == "--wav") {
            run.wavPath = value("--wav");
        } else if (a == "--headless") {
            run.headless = true;
        } else if (a == "--fps") {
            run.fps = std::atof(value("--fps").c_str());
        } else if (a == "--background") {
            run.background = value("--background");
        } else if (a == "--frames") {
            run.framesDir = value("--frames");
        } else if (a == "--frame-every") {
            run.frameEvery = std::atoi(value("--frame-every").c_str());
        } else if (a == "--frame-at") {
            const std::string list = value("--frame-at");
            for (size_t pos = 0; pos <= list.size();) {
                const size_t comma = std::min(list.find(',', pos), list.size());
                if (comma > pos) run.frameAt.push_back(std::atof(list.substr(pos, comma - pos).c_str()));
                pos = comma + 1;
            }
        } else if (a == "--pad") {
            const std::string s = value("--pad");
            qkhost::RunOptions::PadPress press;
            if (std::sscanf(s.c_str(), "%d@%lf", &press.button, &press.at) != 2 || press.button < 1 ||
                press.button > 4 || press.at < 0) {
                std::fprintf(stderr, "qkhost: --pad wants N@SECONDS, such as 1@2.5\n");
                return 2;
            }
            run.padPresses.push_back(press);
        } else if (a == "--script") {
            const std::string s = value("--script");
            const std::size_t at = s.find('@');
            char* end = nullptr;
            const double seconds = at == std::string::npos ? -1 : std::strtod(s.c_str(), &end);
            if (at == std::string::npos || end != s.c_str() + at || seconds < 0 || at + 1 >= s.size()) {
                std::fprintf(stderr, "qkhost: --script wants SECONDS@SCRIPT, such as '1.5@deck 1 play'\n");
                return 2;
            }
            run.scripts.push_back({seconds, s.substr(at + 1)});
        } else if (a == "--size") {
            const std::string s = value("--size");
            if (std::sscanf(s.c_str(), "%dx%d", &options.videoWidth, &options.videoHeight) != 2) {
                std::fprintf(stderr, "qkhost: --size wants WxH, such as 1920x1080\n");
                return 2;
            }
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "qkhost: unknown option %s\n\n%s", a.c_str(), kUsage);
            return 2;
        } else {
            rest.push_back(a);
        }
    }
    if (rest.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string command = rest.front();
    rest.erase(rest.begin());
    if (command == "info") {
        if (rest.empty()) {
            std::fprintf(stderr, "qkhost: info needs at least one plug-in\n");
            return 2;
        }
        return commandInfo(options, rest);
    }
    if (command == "run") {
        if (rest.empty()) {
            std::fprintf(stderr, "qkhost: run needs at least one plug-in\n");
            return 2;
        }
        return qkhost::commandRun(options, run, rest);
    }
    std::fprintf(stderr, "qkhost: unknown command %s\n\n%s", command.c_str(), kUsage);
    return 2;
}
