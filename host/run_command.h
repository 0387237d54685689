// "qkhost run": the show as the DJ host runs it. Loads the plug-ins, starts them,
// runs the host's threads until the time is up or a signal comes, then stops and
// releases everything in the host's order.
//
// The threads: the audio thread (AudioEngine), the render thread for the video
// effects (RenderEngine) and, when a display is present, the UI thread
// (UiThread) on which the start/stop plug-ins get their calls.
#pragma once

#include <string>
#include <vector>

#include "host/host_session.h"

namespace qkhost {

struct RunOptions {
    int blockFrames = 512;  // frames per OnProcessSamples call
    double seconds = 0;     // 0: until SIGINT or SIGTERM
    std::string musicPath;  // loaded on deck 1 and playing from the start
    std::string wavPath;    // also write the master output here
    bool headless = false;  // no sound device (and no windows), even when there is one
    double fps = 30;                  // video frames per second
    std::string background;           // PNG drawn as the deck picture; a test card when empty
    std::string framesDir;            // where captured frames go
    int frameEvery = 0;               // capture every N-th frame
    std::vector<double> frameAt;      // and at these times (seconds)
    struct PadPress {
        int button = 0;  // 1-4
        double at = 0;   // seconds after the start
    };
    std::vector<PadPress> padPresses;  // pressed on every start/stop plug-in
    struct TimedScript {
        double at = 0;  // seconds after the start
        std::string script;
    };
    std::vector<TimedScript> scripts;  // sent to the host's own decks, in time order
};

int commandRun(const HostOptions& host, const RunOptions& run, const std::vector<std::string>& pluginPaths);

}  // namespace qkhost
