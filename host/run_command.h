// "qkhost run": the show as the DJ host runs it. Loads the plug-ins, starts them,
// runs the host's threads until the time is up or a signal comes, then stops and
// releases everything in the host's order.
//
// The threads: the audio thread (AudioEngine) today; a render thread for the video
// effects (OnDraw) and a GTK UI thread belong beside it in ShowRun::startThreads and
// ShowRun::stopThreads, each in a class of its own like AudioEngine.
#pragma once

#include <string>
#include <vector>

#include "host/host_session.h"

namespace qkhost {

struct RunOptions {
    int blockFrames = 512;  // frames per OnProcessSamples call
    double seconds = 0;     // 0: until SIGINT or SIGTERM
    std::string musicPath;  // the master output starts from this track instead of silence
    std::string wavPath;    // also write the master output here
    bool headless = false;  // no sound device (and no windows), even when there is one
};

int commandRun(const HostOptions& host, const RunOptions& run, const std::vector<std::string>& pluginPaths);

}  // namespace qkhost
