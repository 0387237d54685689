// The overlay's steady frame timed over many frames on the host's render thread,
// with the platform's real backends (OpenGL and Pango here, Direct3D 11 and
// DirectWrite on Windows): the CPU time the render thread spends per frame, the
// figure the two platforms are compared by. Needs no benchmark library, so that
// it runs under Wine too.
#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench/overlay/display_fixture.h"
#include "host/render_engine.h"

namespace {

using namespace qk::overlay::bench;

// CPU seconds the calling thread has used.
double threadCpuSeconds() {
#if defined(_WIN32)
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& f) {
        return (static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) * 1e-7;
#else
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
#endif
}

int frameCount = 300;

void timeSteadyFrames(bool playing) {
    Display d(playing);
    double t = 100;
    d.frame(t, 0);  // the rebuild that follows a change, not part of a steady frame
    const double cpu0 = threadCpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    for (int i = 0; i < frameCount; ++i) {
        t += 1 / 60.0;
        d.frame(t, 1 / 60.0);
    }
    const double cpu = threadCpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    std::printf("steady frame, %-11s %4d frames: %8.1f us CPU, %8.1f us wall per frame\n",
                playing ? "ticker:" : "idle screen:", frameCount, cpu / frameCount * 1e6, wall / frameCount * 1e6);
}

class TimingEffect final : public vdj::VideoFxPlugin {
public:
    void VDJ_API Destroy() override {}
    vdj::Result VDJ_API OnDraw() override {
        if (!ran && video != nullptr && video->GetDevice(qk::platform::kHostVideoEngine, &hostDevice) == vdj::kOk) {
            timeSteadyFrames(true);
            timeSteadyFrames(false);
        }
        ran = true;
        return 0;
    }
    bool ran = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) frameCount = std::max(1, std::atoi(argv[1]));
    qkhost::RenderOptions options;
    options.maxFrames = 1;
    qkhost::RenderEngine engine(options);
    TimingEffect effect;
    effect.video = engine.services();
    std::string error;
    if (!engine.start({&effect}, &error)) {
        std::fprintf(stderr, "no video device: %s\n", error.c_str());
        return 1;
    }
    engine.wait();
    return effect.ran ? 0 : 1;
}
