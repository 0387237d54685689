#include "tests/overlay/display_scenes.h"

#include <gtest/gtest.h>

#include "host/host_session.h"
#include "host/render_engine.h"
#include "tests/overlay/picture_fixtures.h"

namespace qktest::display {

namespace {
#if defined(_WIN32)
constexpr const char* kModule = "/QuorvaleOverlay.dll";
#else
constexpr const char* kModule = "/QuorvaleOverlay.so";
#endif
}  // namespace

std::string renderOnce(const qktest::TempDir& home, const qktest::TempDir& frames, const std::string& audience,
                       int width, int height, const Files& files, AroundOverlay* around) {
    qkhost::HostSession session({home.path(), "", 48000, width, height});
    std::string error;
    qkhost::LoadedPlugin* plugin = session.load(std::string(QK_PLUGIN_DIR) + kModule, &error);
    EXPECT_NE(plugin, nullptr) << error;
    if (plugin == nullptr) return "";
    // The data folder exists once the plug-in has loaded.
    for (const auto& [name, bytes] : files) qktest::writeFile(home.path() + "/QuorvaleKaraoke/" + name, bytes);
    qktest::writeFile(home.path() + "/QuorvaleKaraoke/audience.json", audience);
    qkhost::RenderOptions options;
    options.width = width;
    options.height = height;
    options.fps = 30;
    options.framesDir = frames.path();
    options.captureAt = {0.8};
    options.maxFrames = 30;
    qkhost::RenderEngine engine(options);
    plugin->videoFx()->video = engine.services();
    plugin->videoFx()->OnStart();
    vdj::VideoFxPlugin* drawn = plugin->videoFx();
    if (around != nullptr) {
        around->overlay = drawn;
        around->width = width;
        around->height = height;
        around->video = engine.services();
        drawn = around;
    }
    if (!engine.start({drawn}, &error)) {
        ADD_FAILURE() << error;
        return "";
    }
    engine.wait();
    plugin->videoFx()->OnStop();
    session.releaseAll();
    const auto captured = engine.capturedFrames();
    return captured.empty() ? "" : captured.back();
}

std::string overlayLog(const qktest::TempDir& home) {
    return qktest::readFile(home.path() + "/QuorvaleKaraoke/overlay.log");
}

void runScene(const Scene& scene, const std::function<void(const FramePicture&, const std::string& log)>& expect,
              AroundOverlay* around) {
    SCOPED_TRACE(scene.name);
    qktest::TempDir home, frames;
    const std::string png = renderOnce(home, frames, scene.audience, scene.width, scene.height, scene.files, around);
    ASSERT_FALSE(png.empty());
    const std::string log = overlayLog(home);
    EXPECT_EQ(log.find("FAIL"), std::string::npos) << log;
    expect(FramePicture(png), log);
}

Scene tickerScene() {
    return {"ticker",
            R"({"renderer":"pipeline","visible":true,"isPlaying":true,
        "current":{"singer":"Alice","title":"Song"},"appearance":{"bar":"#0000ff","accent":"#00ff00"}})",
            1280,
            720,
            {}};
}

void expectTicker(const FramePicture& f, const std::string& log) {
    ASSERT_TRUE(f.ok());
    // The bar: 5 % of 720 = 40 pixels along the bottom, blue at 0.87 over the card,
    // with green accent lines on its edges; the card shows above it.
    const int barTop = kTickerBarTop;
    EXPECT_GT(f.count(0, barTop, 1280, barTop + 1, {0, 255, 0}, 90), 1000) << "accent line";
    const Rgb bar = f.at(1270, barTop + 8);
    EXPECT_GT(bar.b, 200);
    EXPECT_LT(bar.r, 60);
    EXPECT_EQ(f.count(0, barTop - 30, 1280, barTop - 2, {0, 0, 255}, 30), 0) << "nothing drawn above the bar";
    // Text in the bar: bright pixels of the singer's name in white and the label in green.
    EXPECT_GT(f.count(0, barTop + 4, 1280, 720 - 4, {255, 255, 255}, 40), 50);
    EXPECT_NE(log.find("first OnDraw 1280x720"), std::string::npos) << log;
    EXPECT_NE(log.find("pipeline ready"), std::string::npos) << log;
    EXPECT_NE(log.find("OnDeviceClose"), std::string::npos) << log;
}

Scene idleScene() {
    return {"idle",
            R"({"renderer":"pipeline","visible":true,"isPlaying":false,
        "title":"Friday","rotation":[{"singer":"Alice"},{"singer":"Bob","wait":"~4 min"}],
        "qr":{"url":"https://example.org/request","corner":"br"},
        "appearance":{"enabled":true,"color":"#203040","accent":"#ff7a1a"}})",
            960,
            540,
            {}};
}

void expectIdle(const FramePicture& f) {
    ASSERT_TRUE(f.ok());
    // The background colour covers the card.
    EXPECT_GT(f.count(0, 300, 200, 400, {0x20, 0x30, 0x40}, 2), 19000);
    // QR: side 14 % of 540 = 75.6 but at least 45, box 89.2 at 14 px from the lower right corner.
    const int boxLeft = 960 - 14 - 89, boxTop = 540 - 14 - 89;
    EXPECT_GT(f.count(boxLeft + 2, boxTop + 2, boxLeft + 6, boxTop + 6, {255, 255, 255}, 10), 10) << "quiet zone";
    const int dark = f.count(boxLeft + 10, boxTop + 10, boxLeft + 80, boxTop + 80, {0, 0, 0}, 10);
    EXPECT_GT(dark, 1000) << "modules";
    EXPECT_LT(dark, 4000);
    // The title in the accent colour, centred in the text column near the top.
    EXPECT_GT(f.count(320, 15, 960, 50, {0xff, 0x7a, 0x1a}, 30), 100);
    // The rule under the heading, accent at 0.85.
    EXPECT_GT(f.count(346, 60, 900, 130, {0xf2, 0x72, 0x1c}, 25), 200);
}

Scene hiddenScene() {
    return {"hidden",
            R"({"renderer":"pipeline","visible":false,
        "appearance":{"enabled":true,"color":"#203040"}})",
            640,
            360,
            {}};
}

void expectHidden(const FramePicture& f) {
    ASSERT_TRUE(f.ok());
    EXPECT_EQ(f.count(0, 0, 640, 360, {0x20, 0x30, 0x40}, 2), 0);
}

Scene logoScene() {
    return {
        "logo",
        R"({"renderer":"pipeline","visible":true,"isPlaying":false,"title":"Friday",
        "appearance":{"enabled":true,"color":"#203040","assetsVer":1,"logoWidth":20}})",
        960,
        540,
        {{"audience-assets.json", R"({"logo":")" + qktest::pictureDataText("png", 300, 120, 0xC020C0FF) + R"("})"}}};
}

void expectLogo(const FramePicture& f) {
    ASSERT_TRUE(f.ok());
    // 20 % of the width: 192 x 76.8 pixels, centred in the left third (x 63.84)
    // and 36 s = 18 pixels from the top.
    const Rgb magenta{0xC0, 0x20, 0xC0};
    EXPECT_EQ(f.count(66, 20, 254, 93, magenta, 4), (254 - 66) * (93 - 20)) << "the logo fills its box";
    EXPECT_EQ(f.count(40, 20, 62, 93, magenta, 40), 0) << "nothing left of it";
    EXPECT_EQ(f.count(66, 0, 254, 16, magenta, 40), 0) << "nothing above it";
    EXPECT_EQ(f.count(66, 97, 254, 120, magenta, 40), 0) << "nothing below it";
    EXPECT_GT(f.count(40, 20, 62, 93, {0x20, 0x30, 0x40}, 2), 1000) << "the background beside it";
}

namespace {
const char* kRotation = R"("rotation":[{"singer":"Alice","title":"Dancing Queen","wait":"now"},
        {"singer":"Bob","title":"Bohemian Rhapsody","wait":"~4 min"},{"singer":"Chen","isNew":true,"needsSong":true,
        "wait":"~9 min"},{"singer":"Dana","title":"Valerie","wait":"~13 min"},{"singer":"","wait":"~17 min"}])";
}  // namespace

Scene idleScreenshotScene() {
    const std::string logo = qktest::pictureDataText("png", 300, 120, 0xFF7A1AFF);
    const std::string gfx = qktest::pictureDataText("png", 160, 160, 0x5DD39EFF);
    return {"idle-screen",
            R"({"renderer":"pipeline","visible":true,"isPlaying":false,"venue":"The Quorvale Arms",
            "subtitle":"Sign up at the booth","message":"Two-for-one until ten!","firstEmoji":"⭐",)" +
                std::string(kRotation) +
                R"(,"qr":{"url":"https://example.org/request","label":"Scan to sign up"},
            "dance":{"cta":"Everybody on the floor!","title":"September","artist":"Earth, Wind & Fire",
                     "anims":["pulse"],"gfxVer":1},
            "appearance":{"enabled":true,"color":"#1b1f2a","assetsVer":1,"logoWidth":20}})",
            1920,
            1080,
            {{"audience-assets.json", R"({"logo":")" + logo + R"("})"},
             {"dance-graphics.json", R"([{"data":")" + gfx + R"("}])"}}};
}

Scene tickerScreenshotScene() {
    return {"ticker",
            R"({"renderer":"pipeline","visible":true,"isPlaying":true,
            "message":"Welcome to karaoke night!","venue":"The Quorvale Arms","firstEmoji":"⭐",
            "current":{"singer":"Alice","title":"Dancing Queen"},
            "next":[{"singer":"Bob","wait":"~4 min"},{"singer":"Chen","isNew":true,"needsSong":true}]})",
            1920,
            1080,
            {}};
}

}  // namespace qktest::display
