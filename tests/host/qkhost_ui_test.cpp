// qkhost with a display: the start/stop plug-in gets its window on the host's UI
// thread, the page comes up in the real web view and a scripted pad press
// reaches it; the run ends with no web process left behind.
#include <gtest/gtest.h>
// After gtest: the X11 headers define macros (None) that gtest must not see.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_for.h"
#include "tests/support/x11_windows.h"

namespace {

namespace fs = std::filesystem;
using qktest::waitFor;

// The plug-ins beside the bridge check page, as a host installation has them;
// the page reports into <root>/out.
void installPlugins(const qktest::TempDir& root) {
    fs::create_directories(root.file("mod/ui"));
    fs::create_directories(root.file("out"));
    for (const char* name : {"QuorvaleKaraoke.so", "QuorvaleOverlay.so"})
        fs::copy_file(std::string(QK_PLUGIN_DIR) + "/" + name, root.file("mod/") + name);
    fs::copy_file(std::string(QK_SOURCE_DIR) + "/tests/karaoke/e2e_page/index.html", root.file("mod/ui/index.html"));
}

std::string privateDesktop(const qktest::TempDir& root) {
    return "XDG_CONFIG_HOME=" + root.file("config") + " XDG_DATA_HOME=" + root.file("data") +
           " TMPDIR=" + root.path() + " WEBKIT_DISABLE_COMPOSITING_MODE=1";
}

TEST(QkhostUi, OpensTheManagerWindowAndPressesThePadOnTheUiThread) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X server (the test script starts Xvfb)";
    qktest::TempDir root;
    installPlugins(root);
    const std::string env = privateDesktop(root);
    const auto run = qktest::runCommand(env + " " + std::string(QK_BIN_DIR) + "/qkhost --home " + root.path() +
                                        " run --seconds 14 --pad 1@10 " + root.file("mod/QuorvaleKaraoke.so") +
                                        " 2>&1");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(qktest::exists(root.file("out/report.json"))) << run.output;
    EXPECT_EQ(qktest::readFile(root.file("out/pad.txt")), "playnext") << run.output;
    const std::string log = qktest::readFile(root.file("QuorvaleKaraoke-win.log"));
    EXPECT_NE(log.find("controller ready"), std::string::npos) << log;
    // The placement was stored at Release, from the UI thread.
    EXPECT_EQ(fs::file_size(root.file("config/QuorvaleKaraoke/WindowPlacement")), 44u);
}

// A person at the stand-in host presses the pads with keys 1-4 in its video window.
TEST(QkhostUi, KeysOneToFourInTheVideoWindowPressThePads) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X server (the test script starts Xvfb)";
    qktest::TempDir root;
    installPlugins(root);
    qktest::CommandResult run;
    std::thread host([&] {
        run = qktest::runCommand(privateDesktop(root) + " timeout 60 " + std::string(QK_BIN_DIR) + "/qkhost --home " +
                                 root.path() + " --size 320x180 run --seconds 12 " +
                                 root.file("mod/QuorvaleKaraoke.so") + " " + root.file("mod/QuorvaleOverlay.so") +
                                 " 2>&1");
    });
    Display* x = XOpenDisplay(nullptr);
    ASSERT_NE(x, nullptr);
    ::Window video = 0;
    const auto videoShown = [&] { return (video = qktest::viewableWindowNamed(x, "qkhost video output")) != 0; };
    const bool ready = waitFor([&] { return qktest::exists(root.file("out/report.json")); }, 30000) &&
                       waitFor(videoShown, 10000);
    if (ready) {
        XSetInputFocus(x, video, RevertToParent, CurrentTime);
        const KeyCode three = XKeysymToKeycode(x, XK_3);
        XTestFakeKeyEvent(x, three, True, CurrentTime);
        XTestFakeKeyEvent(x, three, False, CurrentTime);
        XFlush(x);
    }
    const bool pressed =
        ready && waitFor([&] { return qktest::readFile(root.file("out/pad.txt")) == "bgskip"; }, 10000);
    XCloseDisplay(x);
    host.join();
    EXPECT_TRUE(ready) << run.output;
    EXPECT_TRUE(pressed) << qktest::readFile(root.file("out/pad.txt")) << run.output;
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

}  // namespace
