// The plug-in object as the host drives it, over a real data folder.
#include "overlay/overlay_plugin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/overlay/picture_fixtures.h"
#include "tests/overlay/recording_gpu.h"
#include "tests/overlay/recording_text.h"
#include "tests/support/fake_host.h"
#include "tests/support/special_files.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

int countLines(const std::string& log, const std::string& text) {
    int n = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
}

struct PluginDeleter {
    void operator()(QuorvaleOverlay* p) const { p->Release(); }
};
using OverlayPtr = std::unique_ptr<QuorvaleOverlay, PluginDeleter>;

class OverlayPluginTest : public ::testing::Test {
protected:
    qktest::TempDir home;
    qktest::FakeHost host;
    qktest::FakeVideo video;
    std::shared_ptr<qktest::GpuRecord> gpu = std::make_shared<qktest::GpuRecord>();
    std::shared_ptr<qktest::TextRecord> text = std::make_shared<qktest::TextRecord>();

    OverlayPtr load(std::chrono::milliseconds interval = 20ms, bool withDecoder = true) {
        OverlayOptions options;
        if (!withDecoder) options.makeDecoder = [] { return std::unique_ptr<qk::platform::ImageDecoder>(); };
        options.makeGpu = [record = gpu] { return std::make_unique<qktest::RecordingGpu>(record); };
        options.makeText = [record = text] { return std::make_unique<qktest::RecordingText>(record); };
        options.pollInterval = interval;
        OverlayPtr overlay(new QuorvaleOverlay(std::move(options)));
        overlay->host = &host;
        overlay->video = &video;
        overlay->width = 320;
        overlay->height = 180;
        overlay->OnLoad();
        return overlay;
    }
    std::string dataFile(const std::string& name) { return home.path() + "/QuorvaleKaraoke/" + name; }
    std::string logText() { return qktest::readFile(dataFile("overlay.log")); }

    // Waits for the poller, which runs on its own thread.
    template <class Done>
    bool eventually(Done done) {
        for (int i = 0; i < 500 && !done(); ++i) std::this_thread::sleep_for(10ms);
        return done();
    }
};

TEST_F(OverlayPluginTest, StopEndsThePollerAndARestartRepeatsNoWork) {
    host.folder = home.path();
    OverlayPtr overlay = load();
    EXPECT_NE(logText().find("===== OnLoad (QuorvaleOverlay W3b) - qkDir=" + home.path() + "/QuorvaleKaraoke ====="),
              std::string::npos);
    qktest::writeFile(dataFile("audience-assets.json"),
                      R"({"bg":")" + qktest::pictureDataText("png", 2, 2, 0xFF0000FF) + R"("})");
    qktest::writeFile(dataFile("audience.json"), R"({"appearance":{"assetsVer":1}})");

    overlay->OnStart();
    EXPECT_TRUE(overlay->pollerRunning());
    ASSERT_TRUE(eventually([&] { return countLines(logText(), "assets refreshed (ver=1) bg=yes logo=no") == 1; }));
    overlay->OnDraw();
    overlay->OnDraw();
    overlay->OnStop();
    EXPECT_FALSE(overlay->pollerRunning()) << "OnStop returns once the poller has ended";
    EXPECT_NE(logText().find("OnStop after 2 frames"), std::string::npos);

    overlay->state().stateDirty = false;
    overlay->OnStart();
    EXPECT_NE(logText().find("polling " + dataFile("audience.json")), std::string::npos);
    std::this_thread::sleep_for(150ms);  // several passes
    overlay->OnStop();
    EXPECT_EQ(countLines(logText(), "assets refreshed"), 1) << "unchanged pictures are not decoded again";
    EXPECT_FALSE(overlay->state().stateDirty) << "an unchanged document is not taken again";
    EXPECT_EQ(countLines(logText(), "OnStart"), 2);
}

TEST_F(OverlayPluginTest, StopDoesNotWaitOutTheSleep) {
    host.folder = home.path();
    OverlayPtr overlay = load(qk::overlay::StatePoller::kInterval * 10);
    overlay->OnStart();
    std::this_thread::sleep_for(20ms);
    const auto before = std::chrono::steady_clock::now();
    overlay->OnStop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s) << "the poller is woken, not waited for";
}

TEST_F(OverlayPluginTest, APipeInPlaceOfTheDocumentNeverHoldsThePollerUp) {
    host.folder = home.path();
    OverlayPtr overlay = load();
    ASSERT_TRUE(qktest::makeFifo(dataFile("audience.json")));
    overlay->OnStart();
    std::this_thread::sleep_for(100ms);  // several passes over the pipe
    EXPECT_TRUE(qktest::endsWithin(2s, dataFile("audience.json"), [&] { overlay->OnStop(); }))
        << "OnStop waited for a writer of the pipe";
    overlay->OnStart();
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(qktest::endsWithin(2s, dataFile("audience.json"), [&] { overlay.reset(); }))
        << "Release waited for a writer of the pipe";
}

TEST_F(OverlayPluginTest, WithoutADecoderEachStartSaysSoAndLoadsNoPicture) {
    host.folder = home.path();
    OverlayPtr overlay = load(20ms, /*withDecoder=*/false);
    qktest::writeFile(dataFile("audience-assets.json"),
                      R"({"bg":")" + qktest::pictureDataText("png", 2, 2, 0xFF0000FF) + R"("})");
    qktest::writeFile(dataFile("audience.json"), R"({"title":"t","appearance":{"assetsVer":1}})");
    for (int start = 1; start <= 2; ++start) {
        overlay->OnStart();
        ASSERT_TRUE(eventually([&] { return overlay->state().snapshot() != nullptr; }));
        overlay->OnStop();
        EXPECT_EQ(countLines(logText(), "WIC factory unavailable - bg/logo images will not decode"), start);
    }
    EXPECT_EQ(logText().find("assets refreshed"), std::string::npos);
}

TEST_F(OverlayPluginTest, WithoutADataFolderNothingRuns) {
    host.folderResult = -1;
    OverlayPtr overlay = load();
    EXPECT_EQ(overlay->dataFolder(), "");
    EXPECT_EQ(overlay->OnStart(), vdj::kOk);
    EXPECT_FALSE(overlay->pollerRunning());
    EXPECT_EQ(overlay->OnDraw(), vdj::kOk);
    EXPECT_EQ(overlay->OnDeviceClose(), vdj::kOk);
    EXPECT_EQ(overlay->OnStop(), vdj::kOk);
    EXPECT_FALSE(qktest::exists(dataFile("")));
    EXPECT_EQ(gpu->made, 0) << "nothing is drawn";
}

TEST_F(OverlayPluginTest, PicturesAreUploadedAsShownAndAFailedOneWaitsForANewDevice) {
    host.folder = home.path();
    OverlayPtr overlay = load();
    const std::string pic = qktest::pictureDataText("png", 2, 2, 0x00FF00FF);
    qktest::writeFile(dataFile("audience-assets.json"), R"({"bg":")" + pic + R"(","logo":")" + pic + R"("})");
    qktest::writeFile(dataFile("audience-slides.json"), "[\"" + pic + "\",\"" + pic + "\",\"" + pic + "\"]");
    qktest::writeFile(dataFile("dance-graphics.json"), R"([{"data":")" + pic + R"("},{"data":")" + pic + R"("}])");
    const std::string shown = R"({"renderer":"pipeline","visible":true,
        "appearance":{"assetsVer":0,"slides":{"ver":0,"enabled":true}},
        "dance":{"gfxVer":0,"anims":["pulse"],"cta":"Dance!"}})";
    qktest::writeFile(dataFile("audience.json"), R"({"renderer":"pipeline","visible":true,
        "appearance":{"assetsVer":0,"slides":{"ver":0}},"dance":{"gfxVer":0}})");
    overlay->OnStart();
    ASSERT_TRUE(eventually([&] { return countLines(logText(), "refreshed") == 3; }));
    overlay->OnStop();

    overlay->OnDraw();
    EXPECT_EQ(gpu->made, 3) << "background, logo and the idle screen: slides off, no dance graphics drawn";
    overlay->OnDraw();
    EXPECT_EQ(gpu->made, 3);
    EXPECT_TRUE(overlay->textures().slideTextures.empty());

    overlay->OnStart();
    qktest::writeFile(dataFile("audience.json"), shown);
    ASSERT_TRUE(eventually([&] { return overlay->state().stateDirty.load(); }));
    overlay->OnStop();
    overlay->OnDraw();
    overlay->OnDraw();
    EXPECT_EQ(gpu->live.size(), 6u) << "background, logo, the slide on screen, one dance graphic, idle screen, banner";

    overlay->OnDeviceClose();
    EXPECT_TRUE(gpu->live.empty());
    EXPECT_EQ(gpu->pipelineReleases, 1);
    EXPECT_FALSE(overlay->textures().bgTexture.usable());
    EXPECT_TRUE(overlay->textures().slideTextures.empty());
    EXPECT_NE(logText().find("OnDeviceClose"), std::string::npos);

    gpu->refuseTextures = true;
    overlay->OnDraw();
    overlay->OnDraw();
    std::string log = logText();
    EXPECT_EQ(countLines(log, "makeTextureFromBGRA FAIL 2x2"), 4) << "each picture once, not each frame";
    EXPECT_EQ(countLines(log, "rebuildIdle: makeTextTexture failed 320x180"), 2) << log;
    EXPECT_EQ(countLines(log, "makeTextTexture: CreateTexture2D FAIL 320x180"), 2) << log;
    EXPECT_EQ(countLines(log, "makeTextTexture: CreateTexture2D FAIL "), 4) << "the banner's too: " << log;
    gpu->refuseTextures = false;
    overlay->OnDraw();
    EXPECT_EQ(countLines(logText(), "makeTextureFromBGRA FAIL"), 4);
    EXPECT_EQ(gpu->live.size(), 2u) << "the idle screen and banner are made again; the pictures wait";

    // Another device: the pipeline and every texture are made again for it,
    // from the pictures kept in memory.
    const int made = gpu->made;
    int otherDevice = 0;
    video.answer = &otherDevice;
    overlay->OnDraw();
    EXPECT_EQ(gpu->made, made + 6);
    EXPECT_EQ(gpu->live.size(), 6u);
    EXPECT_EQ(gpu->pipelineBuilds, 3) << "first device, after the close, the other device";
    EXPECT_EQ(gpu->saves, gpu->restores);
}

// The host may start and stop the effect on its control thread while the
// render thread draws; a start resets the frame's own members through the next
// frame, which ThreadSanitizer checks here.
TEST_F(OverlayPluginTest, StartsWhileFramesAreDrawnRestartTheFadesThroughTheNextFrame) {
    host.folder = home.path();
    OverlayPtr overlay = load(5ms);
    qktest::writeFile(dataFile("audience.json"), R"({"renderer":"pipeline","visible":true,"isPlaying":true})");
    overlay->OnStart();
    ASSERT_TRUE(eventually([&] { return overlay->state().snapshot() != nullptr; }));
    std::atomic<bool> done{false};
    std::thread render([&] {
        while (!done) overlay->OnDraw();
    });
    for (int i = 0; i < 50; ++i) {
        overlay->OnStop();
        overlay->OnStart();
        std::this_thread::sleep_for(1ms);
    }
    done = true;
    render.join();
    overlay->OnStop();
    overlay->OnDraw();
    EXPECT_FLOAT_EQ(overlay->composer().tickerAlpha(), 1) << "the first frame after a start has no time step";
    EXPECT_GE(countLines(logText(), "first OnDraw 320x180"), 2);
}

TEST_F(OverlayPluginTest, ADocumentPublishedDuringAFrameIsDrawnByTheNext) {
    OverlayPtr overlay;
    auto publish = [&](const char* singer) {
        qk::overlay::OverlayState& state = overlay->state();
        std::lock_guard lock(state.stateMutex);
        state.audienceState = std::make_shared<qk::overlay::AudienceSnapshot>(qk::Json::parse(
            std::string(R"({"renderer":"pipeline","visible":true,"rotation":[{"singer":")") + singer + "\"}]}"));
        state.stateDirty = true;
    };
    OverlayOptions options;
    options.makeGpu = [record = gpu] { return std::make_unique<qktest::RecordingGpu>(record); };
    // The text engine is made after the frame took its document: the poller
    // publishing the next one at just that moment.
    options.makeText = [&, record = text] {
        publish("Bob");
        return std::make_unique<qktest::RecordingText>(record);
    };
    overlay.reset(new QuorvaleOverlay(std::move(options)));
    overlay->video = &video;
    overlay->width = 320;
    overlay->height = 180;
    publish("Ann");

    overlay->OnDraw();
    ASSERT_NE(text->find("Ann"), nullptr);
    EXPECT_EQ(text->find("Bob"), nullptr);
    EXPECT_TRUE(overlay->state().stateDirty) << "the newer document still waits";
    overlay->OnDraw();
    EXPECT_NE(text->find("Bob"), nullptr) << "the idle screen shows the newer document";
    EXPECT_FALSE(overlay->state().stateDirty);
}

}  // namespace
