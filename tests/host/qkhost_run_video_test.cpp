// "qkhost run" with a video effect: the render thread draws and captures frames.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(QkhostRunVideo, DrawsTheVideoOutputAndCapturesFramesOnRequest) {
    qktest::TempDir home;
    const std::string frames = home.path() + "/frames";
    const auto r = qktest::runCommand(std::string(QK_BIN_DIR) + "/qkhost --home '" + home.path() +
                                      "' --size 320x180 run --headless --seconds 1 --fps 20 --frames '" + frames +
                                      "' --frame-at 0.2,0.6 '" + QK_PLUGIN_DIR + "/QuorvaleOverlay.so' 2>&1");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("video frames at 320x180, 2 captured"), std::string::npos) << r.output;
    size_t pngs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(frames))
        if (entry.path().extension() == ".png") ++pngs;
    EXPECT_EQ(pngs, 2u);
}

TEST(QkhostRunVideo, RefusesAnEmptyVideoOutput) {
    const auto r = qktest::runCommand(std::string(QK_BIN_DIR) + "/qkhost --size 0x0 run --seconds 1 '" +
                                      QK_PLUGIN_DIR + "/QuorvaleOverlay.so' 2>&1");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.output.find("--fps and --size must be above 0"), std::string::npos) << r.output;
}

}  // namespace
