// qkhost with a display: the start/stop plug-in gets its window on the host's UI
// thread, the page comes up in the real web view and a scripted pad press
// reaches it; the run ends with no web process left behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(QkhostUi, OpensTheManagerWindowAndPressesThePadOnTheUiThread) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X server (the test script starts Xvfb)";
    qktest::TempDir root;
    fs::create_directories(root.file("mod/ui"));
    fs::create_directories(root.file("out"));
    fs::copy_file(std::string(QK_PLUGIN_DIR) + "/QuorvaleKaraoke.so", root.file("mod/QuorvaleKaraoke.so"));
    fs::copy_file(std::string(QK_SOURCE_DIR) + "/tests/karaoke/e2e_page/index.html", root.file("mod/ui/index.html"));

    const std::string env = "XDG_CONFIG_HOME=" + root.file("config") + " XDG_DATA_HOME=" + root.file("data") +
                            " TMPDIR=" + root.path() + " WEBKIT_DISABLE_COMPOSITING_MODE=1";
    const auto run = qktest::runCommand(env + " " + std::string(QK_BIN_DIR) + "/qkhost --home " + root.path() +
                                        " run --seconds 6 --pad 1@4 " + root.file("mod/QuorvaleKaraoke.so") +
                                        " 2>&1");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(qktest::exists(root.file("out/report.json"))) << run.output;
    EXPECT_EQ(qktest::readFile(root.file("out/pad.txt")), "playnext") << run.output;
    const std::string log = qktest::readFile(root.file("QuorvaleKaraoke-win.log"));
    EXPECT_NE(log.find("controller ready"), std::string::npos) << log;
    // The placement was stored at Release, from the UI thread.
    EXPECT_EQ(fs::file_size(root.file("config/QuorvaleKaraoke/WindowPlacement")), 44u);
}

}  // namespace
