// Nights in the stand-in host: qkhost runs all three plug-ins with the real
// manager page in WebKitGTK on the test's X server. The KJ types two singers and
// their songs into the page with the keyboard and presses pad 1 in qkhost's video
// window; the first singer's song plays on deck 1 (heard in the master output),
// audience.json names the singer, and the overlay draws the ticker into the video.
#include <gtest/gtest.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <signal.h>
// After gtest: the X11 headers define macros (None) that gtest must not see.
#include <X11/Xlib.h>
#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "kit/json_access.h"
#include "tests/sound/sound_files.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_for.h"
#include "tests/support/x11_windows.h"

namespace {

namespace fs = std::filesystem;
using qktest::waitFor;

qk::Json readJson(const std::string& path) {
    const qk::Json j = qk::Json::parse(qktest::readFile(path), nullptr, false);
    return j.is_object() ? j : qk::Json::object();  // missing, half-written or not an object
}

// The keyboard of the X server, as a person types.
class Keyboard {
public:
    explicit Keyboard(Display* x) : x_(x) {}
    void press(KeySym key) { tap(XKeysymToKeycode(x_, key), false); }
    // Printable ASCII: a character's key sym is its code; Shift when the keyboard
    // map puts it on the key's second level.
    void type(const std::string& text) {
        for (const char c : text) {
            const KeySym sym = static_cast<unsigned char>(c);
            const KeyCode code = XKeysymToKeycode(x_, sym);
            if (code == 0) continue;
            const bool shifted = XkbKeycodeToKeysym(x_, code, 0, 0) != sym && XkbKeycodeToKeysym(x_, code, 0, 1) == sym;
            tap(code, shifted);
        }
    }
    // Gives the keyboard focus to the mapped top-level window with this title.
    bool focus(const std::string& title) {
        const ::Window found = qktest::viewableWindowNamed(x_, title);
        if (found == 0) return false;
        XSetInputFocus(x_, found, RevertToParent, CurrentTime);
        XSync(x_, False);
        return true;
    }

private:
    void tap(KeyCode code, bool shifted) {
        const KeyCode shift = XKeysymToKeycode(x_, XK_Shift_L);
        if (shifted) XTestFakeKeyEvent(x_, shift, True, CurrentTime);
        XTestFakeKeyEvent(x_, code, True, CurrentTime);
        XTestFakeKeyEvent(x_, code, False, CurrentTime);
        if (shifted) XTestFakeKeyEvent(x_, shift, False, CurrentTime);
        XFlush(x_);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }

    Display* x_;
};

// Pixels of the display's orange (ticker edges and labels, the idle screen's
// title) in rows [from, to) of a PNG frame; a negative row counts from the bottom.
int orangeInRows(const std::string& png, int from, int to) {
    GdkPixbuf* image = gdk_pixbuf_new_from_file(png.c_str(), nullptr);
    if (image == nullptr) return -1;
    const int w = gdk_pixbuf_get_width(image), h = gdk_pixbuf_get_height(image);
    const int stride = gdk_pixbuf_get_rowstride(image), channels = gdk_pixbuf_get_n_channels(image);
    const guchar* p = gdk_pixbuf_get_pixels(image);
    if (from < 0) from += h;
    if (to <= 0) to += h;
    int n = 0;
    for (int y = from; y < to; ++y)
        for (int x = 0; x < w; ++x) {
            const guchar* px = p + y * stride + x * channels;
            if (px[0] > 200 && px[1] > 80 && px[1] < 170 && px[2] < 80) ++n;
        }
    g_object_unref(image);
    return n;
}

std::string newestFrame(const std::string& dir) {
    std::string newest;
    if (!fs::exists(dir)) return newest;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() == ".png" && e.path().string() > newest) newest = e.path().string();
    return newest;
}

// A stand-in host installation in a temporary folder: the three plug-ins with
// the page beside them, run by qkhost on the test's X server until stopped.
class HostedNight {
public:
    HostedNight() {
        fs::create_directories(data());
        fs::create_directories(root.file("mod"));
        for (const char* name : {"QuorvaleKaraoke.so", "QuorvaleOverlay.so", "QuorvaleSound.so"})
            fs::copy_file(std::string(QK_PLUGIN_DIR) + "/" + name, root.file("mod/") + name);
        fs::copy(std::string(QK_SOURCE_DIR) + "/ui", root.file("mod/ui"), fs::copy_options::recursive);
    }
    ~HostedNight() { stop(); }

    std::string data() const { return root.file("home/QuorvaleKaraoke"); }
    void start() {
        host_ = std::thread([this] {
            run = qktest::runCommand(
                "XDG_CONFIG_HOME=" + root.file("config") + " XDG_DATA_HOME=" + root.file("data") + " TMPDIR=" +
                root.path() + " WEBKIT_DISABLE_COMPOSITING_MODE=1 timeout 120 " + std::string(QK_BIN_DIR) +
                "/qkhost --home " + root.file("home") + " --host-log " + root.file("host.log") +
                " --size 960x540 run --seconds 100 --fps 10 --frames " + root.file("frames") +
                " --frame-every 5 --wav " + root.file("master.wav") + " " + root.file("mod/QuorvaleKaraoke.so") +
                " " + root.file("mod/QuorvaleOverlay.so") + " " + root.file("mod/QuorvaleSound.so") +
                " 2>&1 & echo $! > " + root.file("qkhost.pid") + "; wait $!");
        });
    }
    // Ends the run as a person would (SIGTERM); the master output is then complete.
    void stop() {
        if (!host_.joinable()) return;
        const std::string pid = qktest::readFile(root.file("qkhost.pid"));
        if (!pid.empty()) ::kill(std::stoi(pid), SIGTERM);
        host_.join();
    }
    // The page is up once it has opened the night's show and published its first
    // audience document.
    bool pageUp() const {
        return waitFor([&] { return fs::is_regular_file(showFile()); }, 60000) &&
               waitFor([&] { return fs::is_regular_file(data() + "/audience.json"); }, 30000);
    }
    std::string showFile() const {
        return data() + "/shows/" + readJson(data() + "/settings.json").value("currentShow", "");
    }

    qktest::TempDir root;
    qktest::CommandResult run;

private:
    std::thread host_;
};

TEST(Night, TwoSingersTypedInThePageAndPadOnePutsTheFirstOnStage) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X server (the test script starts Xvfb)";
    HostedNight night;
    const std::string data = night.data();
    fs::create_directories(night.root.file("music"));
    // Two songs the KJ has in the music folder chosen in the settings.
    const std::string first = night.root.file("music/Tone Band - First Light.wav");
    qktest::writeSineWav(first, 48000, 2, 40.0, 440, 0.5);
    qktest::writeSineWav(night.root.file("music/Tone Band - Second Wind.wav"), 48000, 2, 40.0, 660, 0.5);
    qktest::writeFile(data + "/settings.json", qk::Json{{"musicFolder", night.root.file("music")}}.dump());
    night.start();

    Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    Keyboard keys(x);
    const bool pageUp = night.pageUp() && keys.focus("QuorvaleKaraoke");
    if (pageUp) {
        std::this_thread::sleep_for(std::chrono::seconds(1));  // the focus reaches the page's document
        for (const auto& [name, query] : {std::pair{"Alice", "first"}, std::pair{"Bob", "second"}}) {
            keys.press(XK_i);
            keys.type(name);
            keys.press(XK_Return);
            keys.press(XK_Escape);
            keys.press(XK_slash);
            keys.type(query);
            keys.press(XK_Return);
            std::this_thread::sleep_for(std::chrono::milliseconds(800));  // the search lists its hit
            keys.press(XK_Tab);
            keys.press(XK_Return);
        }
    }
    const auto queued = [&] {
        const qk::Json show = readJson(night.showFile());
        return show.contains("queue") && show["queue"].size() == 2 && show["queue"][0]["songs"].size() == 1 &&
               show["queue"][1]["songs"].size() == 1;
    };
    const bool typed = pageUp && waitFor(queued, 20000);

    // Pad 1, pressed in the host's video window.
    const bool padPressed = typed && keys.focus("qkhost video output");
    if (padPressed) keys.press(XK_1);
    const auto onStage = [&] {
        const qk::Json a = readJson(data + "/audience.json");
        return a.value("isPlaying", false) && a.contains("current") && a["current"].value("singer", "") == "Alice";
    };
    const bool staged = padPressed && waitFor(onStage, 20000);
    // The overlay polls the document and draws the ticker within a few frames.
    std::string frame;
    const bool ticker = staged && waitFor([&] {
                            frame = newestFrame(night.root.file("frames"));
                            // The ticker's bar along the bottom edge, and no idle-screen title at the top.
                            return !frame.empty() && orangeInRows(frame, -40, 0) > 500 &&
                                   orangeInRows(frame, 0, 100) == 0;
                        }, 20000);
    std::this_thread::sleep_for(std::chrono::seconds(2));  // the song in the master output
    XCloseDisplay(x);
    night.stop();

    ASSERT_TRUE(pageUp) << night.run.output << qktest::readFile(night.root.file("QuorvaleKaraoke-win.log"));
    ASSERT_TRUE(typed) << qktest::readFile(night.showFile());
    ASSERT_TRUE(staged) << qktest::readFile(data + "/audience.json") << qktest::readFile(night.root.file("host.log"));
    EXPECT_TRUE(ticker) << frame << " has " << orangeInRows(frame, -40, 0) << " ticker pixels and "
                        << orangeInRows(frame, 0, 100) << " at the top";
    const qk::Json audience = readJson(data + "/audience.json");
    EXPECT_EQ(audience["renderer"], "pipeline");
    EXPECT_EQ(audience["visible"], true);
    EXPECT_EQ(audience["current"]["title"], "First Light");
    ASSERT_FALSE(audience["rotation"].empty());
    EXPECT_EQ(audience["rotation"][0]["singer"], "Bob");

    // The page loaded the song on deck 1 and played it.
    const std::string hostLog = qktest::readFile(night.root.file("host.log"));
    EXPECT_NE(hostLog.find("send deck 1 load '" + first + "'"), std::string::npos) << hostLog;
    EXPECT_NE(hostLog.find("deck 1 play"), std::string::npos) << hostLog;
    // The last seconds of the master output are the first song's 440 Hz.
    const auto wav = qktest::readFloatWav(night.root.file("master.wav"));
    ASSERT_GT(wav.samples.size(), 2u * 96000u);
    const size_t frames = wav.samples.size() / 2;
    EXPECT_GT(qktest::toneShare(wav, frames - 96000, 48000, 440), 0.9);
    EXPECT_EQ(night.run.exitCode, 0) << night.run.output;
}

// Pixels of one exact colour (within a small tolerance) in a PNG frame.
int pixelsOf(const std::string& png, int r, int g, int b) {
    GdkPixbuf* image = gdk_pixbuf_new_from_file(png.c_str(), nullptr);
    if (image == nullptr) return -1;
    const int w = gdk_pixbuf_get_width(image), h = gdk_pixbuf_get_height(image);
    const int stride = gdk_pixbuf_get_rowstride(image), channels = gdk_pixbuf_get_n_channels(image);
    const guchar* p = gdk_pixbuf_get_pixels(image);
    int n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const guchar* px = p + y * stride + x * channels;
            if (std::abs(px[0] - r) < 12 && std::abs(px[1] - g) < 12 && std::abs(px[2] - b) < 12) ++n;
        }
    g_object_unref(image);
    return n;
}

// The KJ chooses a logo through the host's file picker in the Look tab, and it
// shows on the audience display; a sound pad's key puts its sound into the
// master output through the sound board.
TEST(Night, ALogoChosenInThePageShowsOnTheDisplayAndAPadKeyPlaysItsSound) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X server (the test script starts Xvfb)";
    HostedNight night;
    const std::string data = night.data();
    // A hot-pink logo, a colour neither the test card nor the display uses.
    const std::string logo = night.root.file("logo.png");
    GdkPixbuf* picture = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 300, 150);
    gdk_pixbuf_fill(picture, 0xFF0080FFu);
    ASSERT_TRUE(gdk_pixbuf_save(picture, logo.c_str(), "png", nullptr, nullptr));
    g_object_unref(picture);
    // The horn pad on key Q, set up on an earlier night.
    const std::string horn = night.root.file("horn.wav");
    qktest::writeSineWav(horn, 48000, 1, 3.0, 1000, 0.5);
    qktest::writeFile(data + "/settings.json",
                      qk::Json{{"soundPads", qk::Json::array({qk::Json{{"id", "p1"}, {"name", "Horn"}, {"path", horn},
                                                                       {"vol", 1}, {"key", "q"}}})}}
                          .dump());
    night.start();

    Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    Keyboard keys(x);
    const bool pageUp = night.pageUp() && keys.focus("QuorvaleKaraoke");
    if (pageUp) std::this_thread::sleep_for(std::chrono::seconds(1));
    // L opens the Look tab with the logo's picker button in focus; Enter opens
    // the picker, where typing a path starting with / goes to its location field.
    bool picked = false;
    if (pageUp) {
        keys.press(XK_l);
        keys.press(XK_Return);
        picked = waitFor([&] { return keys.focus("Choose File"); }, 20000);
    }
    if (picked) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        keys.press(XK_slash);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        keys.type(logo.substr(1));
        keys.press(XK_Return);
    }
    const auto logoStored = [&] {
        return readJson(data + "/audience-assets.json").value("logo", "").rfind("data:image/png;base64,", 0) == 0 &&
               readJson(data + "/audience.json").contains("appearance");
    };
    const bool stored = picked && waitFor(logoStored, 20000);
    std::string frame;
    const bool shown = stored && waitFor([&] {
                           frame = newestFrame(night.root.file("frames"));
                           return !frame.empty() && pixelsOf(frame, 255, 0, 128) > 1000;
                       }, 20000);

    // The pad's key, back in the manager window.
    const bool padPressed = keys.focus("QuorvaleKaraoke");
    if (padPressed) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        keys.press(XK_Escape);
        keys.press(XK_q);
    }
    const auto inboxed = [&] {
        return qktest::readFile(data + "/sound-inbox.jsonl").find("\"op\":\"play\"") != std::string::npos;
    };
    const bool played = padPressed && waitFor(inboxed, 10000) &&
                        waitFor([&] { return qktest::readFile(data + "/sound.log").find("play p1") != std::string::npos; },
                                10000);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the horn in the master output
    XCloseDisplay(x);
    night.stop();

    ASSERT_TRUE(pageUp) << night.run.output << qktest::readFile(night.root.file("QuorvaleKaraoke-win.log"));
    ASSERT_TRUE(picked) << "no file picker came up";
    ASSERT_TRUE(stored) << qktest::readFile(night.root.file("QuorvaleKaraoke-win.log"));
    EXPECT_TRUE(shown) << frame << " has " << pixelsOf(frame, 255, 0, 128) << " logo pixels; "
                       << qktest::readFile(data + "/overlay.log");
    // The picture went in first, its version after: the overlay read it.
    EXPECT_NE(qktest::readFile(data + "/overlay.log").find("logo=yes"), std::string::npos)
        << qktest::readFile(data + "/overlay.log");
    ASSERT_TRUE(played) << qktest::readFile(data + "/sound-inbox.jsonl") << qktest::readFile(data + "/sound.log");
    // The horn's 1 kHz is in the master output after the press.
    const auto wav = qktest::readFloatWav(night.root.file("master.wav"));
    const size_t frames = wav.samples.size() / 2;
    ASSERT_GT(frames, 48000u * 4);
    double best = 0;
    for (size_t from = 0; from + 24000 <= frames; from += 12000)
        best = std::max(best, qktest::toneShare(wav, from, 24000, 1000));
    EXPECT_GT(best, 0.9);
    EXPECT_EQ(night.run.exitCode, 0) << night.run.output;
}

}  // namespace
