// A night in the stand-in host: qkhost runs all three plug-ins with the real
// manager page in WebKitGTK on the test's X server. The KJ types two singers and
// their songs into the page with the keyboard and presses pad 1 in qkhost's video
// window; the first singer's song plays on deck 1 (heard in the master output),
// audience.json names the singer, and the overlay draws the ticker into the video.
#include <gtest/gtest.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <signal.h>
// After gtest: the X11 headers define macros (None) that gtest must not see.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "kit/json_access.h"
#include "tests/sound/sound_files.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

bool waitFor(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

qk::Json readJson(const std::string& path) {
    const qk::Json j = qk::Json::parse(qktest::readFile(path), nullptr, false);
    return j.is_discarded() ? qk::Json() : j;
}

// The keyboard of the X server, as a person types.
class Keyboard {
public:
    explicit Keyboard(Display* x) : x_(x) {}
    void press(KeySym key, bool shift = false) {
        const KeyCode shiftCode = XKeysymToKeycode(x_, XK_Shift_L);
        const KeyCode code = XKeysymToKeycode(x_, key);
        if (shift) XTestFakeKeyEvent(x_, shiftCode, True, CurrentTime);
        XTestFakeKeyEvent(x_, code, True, CurrentTime);
        XTestFakeKeyEvent(x_, code, False, CurrentTime);
        if (shift) XTestFakeKeyEvent(x_, shiftCode, False, CurrentTime);
        XFlush(x_);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    void type(const std::string& text) {
        for (const char c : text) {
            if (c >= 'A' && c <= 'Z') press(XK_a + (c - 'A'), true);
            else if (c >= 'a' && c <= 'z') press(XK_a + (c - 'a'));
            else if (c == ' ') press(XK_space);
        }
    }
    // Gives the keyboard focus to the top-level window with this title.
    bool focus(const std::string& title) {
        ::Window root = 0, parent = 0, found = 0;
        ::Window* children = nullptr;
        unsigned count = 0;
        if (XQueryTree(x_, DefaultRootWindow(x_), &root, &parent, &children, &count) == 0) return false;
        for (unsigned i = 0; i < count && found == 0; ++i) {
            char* name = nullptr;
            if (XFetchName(x_, children[i], &name) != 0 && name != nullptr) {
                if (title == name) found = children[i];
                XFree(name);
            }
        }
        if (children != nullptr) XFree(children);
        if (found == 0) return false;
        XSetInputFocus(x_, found, RevertToParent, CurrentTime);
        XSync(x_, False);
        return true;
    }

private:
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

TEST(Night, TwoSingersTypedInThePageAndPadOnePutsTheFirstOnStage) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X server (the test script starts Xvfb)";
    qktest::TempDir root;
    const std::string data = root.file("home/QuorvaleKaraoke");
    fs::create_directories(data);
    fs::create_directories(root.file("music"));
    fs::create_directories(root.file("mod"));
    for (const char* name : {"QuorvaleKaraoke.so", "QuorvaleOverlay.so", "QuorvaleSound.so"})
        fs::copy_file(std::string(QK_PLUGIN_DIR) + "/" + name, root.file("mod/") + name);
    fs::copy(std::string(QK_SOURCE_DIR) + "/ui", root.file("mod/ui"), fs::copy_options::recursive);
    // Two songs the KJ has in the music folder chosen in the settings.
    const std::string first = root.file("music/Tone Band - First Light.wav");
    qktest::writeSineWav(first, 48000, 2, 40.0, 440, 0.5);
    qktest::writeSineWav(root.file("music/Tone Band - Second Wind.wav"), 48000, 2, 40.0, 660, 0.5);
    qktest::writeFile(data + "/settings.json", qk::Json{{"musicFolder", root.file("music")}}.dump());

    const std::string pidFile = root.file("qkhost.pid");
    qktest::CommandResult run;
    std::thread host([&] {
        run = qktest::runCommand(
            "XDG_CONFIG_HOME=" + root.file("config") + " XDG_DATA_HOME=" + root.file("data") + " TMPDIR=" +
            root.path() + " WEBKIT_DISABLE_COMPOSITING_MODE=1 timeout 120 " + std::string(QK_BIN_DIR) +
            "/qkhost --home " + root.file("home") + " --host-log " + root.file("host.log") +
            " --size 960x540 run --seconds 100 --fps 10 --frames " + root.file("frames") + " --frame-every 5 --wav " +
            root.file("master.wav") + " " + root.file("mod/QuorvaleKaraoke.so") + " " +
            root.file("mod/QuorvaleOverlay.so") + " " + root.file("mod/QuorvaleSound.so") + " 2>&1 & echo $! > " +
            pidFile + "; wait $!");
    });
    const auto stopHost = [&] {
        const std::string pid = qktest::readFile(pidFile);
        if (!pid.empty()) ::kill(std::stoi(pid), SIGTERM);
        host.join();
    };

    Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    Keyboard keys(x);
    // The page is up once it has opened the night's show.
    const auto showFile = [&] { return data + "/shows/" + readJson(data + "/settings.json").value("currentShow", ""); };
    const bool pageUp = waitFor([&] { return fs::is_regular_file(showFile()); }, 60) &&
                        waitFor([&] { return fs::is_regular_file(data + "/audience.json"); }, 30) &&
                        keys.focus("QuorvaleKaraoke");
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
        const qk::Json show = readJson(showFile());
        return show.contains("queue") && show["queue"].size() == 2 && show["queue"][0]["songs"].size() == 1 &&
               show["queue"][1]["songs"].size() == 1;
    };
    const bool typed = pageUp && waitFor(queued, 20);

    // Pad 1, pressed in the host's video window.
    const bool padPressed = typed && keys.focus("qkhost video output");
    if (padPressed) keys.press(XK_1);
    const auto onStage = [&] {
        const qk::Json a = readJson(data + "/audience.json");
        return a.value("isPlaying", false) && a.contains("current") && a["current"].value("singer", "") == "Alice";
    };
    const bool staged = padPressed && waitFor(onStage, 20);
    // The overlay polls the document and draws the ticker within a few frames.
    std::string frame;
    const bool ticker = staged && waitFor([&] {
                            frame = newestFrame(root.file("frames"));
                            // The ticker's bar along the bottom edge, and no idle-screen title at the top.
                            return !frame.empty() && orangeInRows(frame, -40, 0) > 500 &&
                                   orangeInRows(frame, 0, 100) == 0;
                        }, 20);
    std::this_thread::sleep_for(std::chrono::seconds(2));  // the song in the master output
    XCloseDisplay(x);
    stopHost();

    ASSERT_TRUE(pageUp) << run.output << qktest::readFile(root.file("QuorvaleKaraoke-win.log"));
    ASSERT_TRUE(typed) << qktest::readFile(showFile());
    ASSERT_TRUE(staged) << qktest::readFile(data + "/audience.json") << qktest::readFile(root.file("host.log"));
    EXPECT_TRUE(ticker) << frame << " has " << orangeInRows(frame, -40, 0) << " ticker pixels and "
                        << orangeInRows(frame, 0, 100) << " at the top";
    const qk::Json audience = readJson(data + "/audience.json");
    EXPECT_EQ(audience["renderer"], "pipeline");
    EXPECT_EQ(audience["visible"], true);
    EXPECT_EQ(audience["current"]["title"], "First Light");
    ASSERT_FALSE(audience["rotation"].empty());
    EXPECT_EQ(audience["rotation"][0]["singer"], "Bob");

    // The page loaded the song on deck 1 and played it; the deck answered that it plays.
    const std::string hostLog = qktest::readFile(root.file("host.log"));
    EXPECT_NE(hostLog.find("send deck 1 load '" + first + "'"), std::string::npos) << hostLog;
    EXPECT_NE(hostLog.find("deck 1 play"), std::string::npos) << hostLog;
    // The last two seconds of the master output are the first song's 440 Hz.
    const auto wav = qktest::readFloatWav(root.file("master.wav"));
    ASSERT_GT(wav.samples.size(), 2u * 96000u);
    const size_t frames = wav.samples.size() / 2;
    EXPECT_GT(qktest::toneShare(wav, frames - 96000, 48000, 440), 0.9);
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

}  // namespace
