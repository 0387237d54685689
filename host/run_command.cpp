#include "host/run_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "host/audio_engine.h"
#include "host/pulse_output.h"
#include "host/render_engine.h"
#include "host/stop_request.h"
#include "host/ui_thread.h"
#include "host/wav_writer.h"
#include "host/track.h"
#include "platform/audio_decoder.h"

namespace qkhost {

namespace {

class ShowRun {
public:
    ShowRun(const HostOptions& host, const RunOptions& run)
        : options_(run), render_(renderOptions(host, run)), session_(withVideo(host, render_.services())) {}

    bool load(const std::vector<std::string>& paths) {
        for (const std::string& path : paths) {
            std::string error;
            if (session_.load(path, &error) == nullptr) {
                std::fprintf(stderr, "qkhost: cannot load %s: %s\n", path.c_str(), error.c_str());
                return false;
            }
        }
        return true;
    }

    bool openOutputs() {
        const int rate = session_.options().sampleRate;
        if (!options_.headless) {
            std::string error;
            device_ = openSoundDevice(rate, options_.blockFrames, &error);
            if (!device_) std::fprintf(stderr, "qkhost: no sound device (%s); running headless\n", error.c_str());
        }
        std::string wavPath = options_.wavPath;
        if (wavPath.empty() && !device_) wavPath = session_.options().home + "/qkhost-master.wav";
        if (!wavPath.empty()) {
            std::string error;
            wav_ = WavWriter::create(wavPath, rate, &error);
            if (!wav_) {
                std::fprintf(stderr, "qkhost: cannot write %s: %s\n", wavPath.c_str(), error.c_str());
                return false;
            }
        }
        std::vector<AudioSink*> sinks;
        if (device_) sinks.push_back(device_.get());
        if (wav_) sinks.push_back(wav_.get());
        std::vector<vdj::DspPlugin*> dsp;
        for (auto& p : session_.plugins())
            if (auto* d = p->dsp()) dsp.push_back(d);
        audio_ = std::make_unique<AudioEngine>(AudioEngineConfig{rate, options_.blockFrames}, std::move(dsp),
                                               &session_.host().decks(), std::move(sinks));
        return true;
    }

    StandInHost& host() { return session_.host(); }

    void startPlugins() {
        if (!options_.headless) {
            std::string error;
            if (!ui_.start(&error)) std::fprintf(stderr, "qkhost: no windows (%s)\n", error.c_str());
        }
        for (auto& p : session_.plugins()) {
            if (auto* d = p->dsp()) d->OnStart();
            if (auto* v = p->videoFx()) v->OnStart();
            if (auto* s = p->startStop()) {
                if (!ui_.running()) {
                    s->OnStart();
                    continue;
                }
                // As the DJ host does on its UI thread: ask for the window, then start.
                ui_.run([s] {
                    vdj::PluginInterface record{};
                    s->OnGetUserInterface(&record);
                    s->OnStart();
                });
                for (const auto& press : options_.padPresses)
                    ui_.runAfter(press.at, [s, button = press.button] { s->OnParameter(button); });
            }
        }
    }

    // A pad button pressed in the video window reaches every start/stop plug-in
    // on the UI thread, as the DJ host's own pad buttons do.
    void pressPad(int button) {
        if (!ui_.running()) return;
        for (auto& p : session_.plugins())
            if (auto* s = p->startStop()) ui_.runAfter(0, [s, button] { s->OnParameter(button); });
    }

    void startThreads() {
        audio_->start();
        std::vector<vdj::VideoFxPlugin*> effects;
        for (auto& p : session_.plugins())
            if (auto* v = p->videoFx()) effects.push_back(v);
        if (effects.empty()) return;
        std::string error;
        videoRunning_ = render_.start(std::move(effects), &error);
        if (!videoRunning_) std::fprintf(stderr, "qkhost: no video output (%s)\n", error.c_str());
    }

    // No plug-in callback runs on a host thread once this returns; the video
    // effects get OnDeviceClose on the render thread before it ends.
    void stopThreads() {
        render_.stop();
        audio_->stop();
    }

    void stopPlugins() {
        for (auto& p : session_.plugins()) {
            if (auto* d = p->dsp()) d->OnStop();
            if (auto* v = p->videoFx()) v->OnStop();
            if (auto* s = p->startStop()) {
                if (ui_.running())
                    ui_.run([s] { s->OnStop(); });
                else
                    s->OnStop();
            }
        }
    }

    // Windows and web views go on the thread that made them; then the UI thread ends.
    void release() {
        if (ui_.running())
            ui_.run([this] { session_.releaseAll(); });
        else
            session_.releaseAll();
        ui_.stop();
    }

    void report() {
        const int rate = session_.options().sampleRate;
        const double seconds = static_cast<double>(audio_->framesRendered()) / rate;
        std::printf("qkhost: %.1f s of master output at %d Hz in blocks of %d frames\n", seconds, rate,
                    options_.blockFrames);
        if (videoRunning_) {
            const auto frames = render_.capturedFrames();
            std::printf("qkhost: %d video frames at %dx%d", render_.framesDrawn(), session_.options().videoWidth,
                        session_.options().videoHeight);
            if (!frames.empty())
                std::printf(", %zu captured (last: %s)", frames.size(), frames.back().c_str());
            std::printf("\n");
            std::printf("qkhost: %d video frames late\n", render_.framesLate());
        }
        std::printf("qkhost: %lld audio blocks late\n", static_cast<long long>(audio_->lateBlocks()));
        if (wav_) {
            const std::string path = wav_->path();
            const bool ok = wav_->close();
            std::printf("qkhost: master output %s %s\n", ok ? "written to" : "NOT fully written to", path.c_str());
        }
        std::fflush(stdout);
    }

private:
    RenderOptions renderOptions(const HostOptions& host, const RunOptions& run) {
        RenderOptions r;
        r.width = host.videoWidth;
        r.height = host.videoHeight;
        r.fps = run.fps;
        r.background = run.background;
        r.framesDir = run.framesDir;
        r.captureEvery = run.frameEvery;
        r.captureAt = run.frameAt;
        const char* display = std::getenv("DISPLAY");
        r.showWindow = !run.headless && display != nullptr && *display != '\0';
        r.onPadKey = [this](int button) { pressPad(button); };
        return r;
    }
    static HostOptions withVideo(HostOptions host, vdj::VideoHostServices* video) {
        host.video = video;
        return host;
    }

    RunOptions options_;
    RenderEngine render_;  // before the session: its services outlive every plug-in
    bool videoRunning_ = false;
    HostSession session_;
    UiThread ui_;  // after the session: it ends after the last Release
    std::unique_ptr<AudioSink> device_;
    std::unique_ptr<WavWriter> wav_;
    std::unique_ptr<AudioEngine> audio_;
};

// Sends the timed scripts from this (the main) thread, as a controller would, and
// waits out the run.
void runScripts(StandInHost& host, const RunOptions& run, StopRequest& stop) {
    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - started).count(); };
    std::vector<RunOptions::TimedScript> scripts = run.scripts;
    std::stable_sort(scripts.begin(), scripts.end(), [](const auto& a, const auto& b) { return a.at < b.at; });
    for (const auto& s : scripts) {
        if (run.seconds > 0 && s.at >= run.seconds) break;
        if (const double due = s.at - elapsed(); due > 0 && stop.wait(due)) return;
        if (const vdj::Result r = host.SendCommand(s.script.c_str()); r != vdj::kOk)
            std::fprintf(stderr, "qkhost: the script \"%s\" at %g s failed (0x%08X)\n", s.script.c_str(), s.at,
                         static_cast<unsigned>(r));
    }
    // wait(0) would wait for a signal only; a timed run whose time is up is over.
    if (run.seconds <= 0)
        stop.wait(0);
    else if (const double left = run.seconds - elapsed(); left > 0)
        stop.wait(left);
}

}  // namespace

int commandRun(const HostOptions& host, const RunOptions& run, const std::vector<std::string>& pluginPaths) {
    if (run.blockFrames <= 0 || host.sampleRate <= 0) {
        std::fprintf(stderr, "qkhost: --block and --rate must be above 0\n");
        return 2;
    }
    if (run.fps <= 0 || host.videoWidth <= 0 || host.videoHeight <= 0) {
        std::fprintf(stderr, "qkhost: --fps and --size must be above 0\n");
        return 2;
    }
    // The decks decode on this thread and on the plug-ins' threads; readied here
    // for the whole run (Media Foundation stays started for every thread of the
    // process while one thread holds it).
    const qk::platform::DecodingThread decoding;
    std::unique_ptr<Track> music;
    if (!run.musicPath.empty()) {
        std::string error;
        music = decodeTrack(run.musicPath, host.sampleRate, &error);
        if (!music) {
            std::fprintf(stderr, "qkhost: cannot play %s: %s\n", run.musicPath.c_str(), error.c_str());
            return 1;
        }
    }

    if (!run.framesDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(run.framesDir, ec);
    }
    StopRequest::installSignalHandlers();
    StopRequest stop;
    ShowRun show(host, run);
    if (!show.load(pluginPaths) || !show.openOutputs()) {
        show.release();
        return 1;
    }
    if (music) {
        Deck& deck1 = *show.host().decks().deck(1);
        deck1.load(std::move(music));
        deck1.play();
    }
    show.startPlugins();
    show.startThreads();
    std::printf("qkhost: running%s\n", run.seconds > 0 ? "" : " until SIGINT or SIGTERM");
    std::fflush(stdout);
    runScripts(show.host(), run, stop);
    show.stopThreads();
    show.stopPlugins();
    show.release();
    show.report();
    return 0;
}

}  // namespace qkhost
