// The poller replaces documents and pictures while a render thread takes
// snapshots and walks the picture lists, as OnDraw does. Run under
// ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "overlay/overlay_plugin.h"
#include "tests/overlay/picture_fixtures.h"
#include "tests/overlay/recording_gpu.h"
#include "tests/overlay/recording_text.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

TEST(OverlayHandover, PollerAndRenderThreadShareStateSafely) {
    qktest::TempDir home;
    qktest::FakeHost host;
    host.folder = home.path();
    auto record = std::make_shared<qktest::GpuRecord>();
    OverlayOptions options;
    options.makeGpu = [record] { return std::make_unique<qktest::RecordingGpu>(record); };
    options.makeText = [] { return std::make_unique<qktest::RecordingText>(std::make_shared<qktest::TextRecord>()); };
    options.pollInterval = 2ms;
    auto* overlay = new QuorvaleOverlay(std::move(options));
    qktest::FakeVideo video;
    overlay->host = &host;
    overlay->video = &video;
    overlay->width = 64;
    overlay->height = 36;
    overlay->OnLoad();
    const std::string dir = home.path() + "/QuorvaleKaraoke/";
    const std::string pictures[] = {qktest::pictureDataText("png", 3, 2, 0xFF000080),
                                    qktest::pictureDataText("png", 2, 5, 0x00FF00FF)};
    overlay->OnStart();

    std::atomic<bool> done{false};
    std::size_t seen = 0;
    std::thread render([&] {
        int frame = 0;
        while (!done.load()) {
            overlay->OnDraw();
            if (const auto snapshot = overlay->state().snapshot())
                seen += snapshot->doc.title.size() + snapshot->document.size() +
                        static_cast<std::size_t>(snapshot->doc.appearance.assetsVer);
            if (++frame % 50 == 0) overlay->OnDeviceClose();
        }
    });

    const auto until = std::chrono::steady_clock::now() + 1500ms;
    for (int version = 0; std::chrono::steady_clock::now() < until; ++version) {
        const std::string& pic = pictures[version % 2];
        qktest::writeFile(dir + "audience-assets.json", R"({"bg":")" + pic + R"(","logo":")" + pic + R"("})");
        std::string slides = "[";
        for (int i = 0; i <= version % 3; ++i) slides += (i ? ",\"" : "\"") + pic + "\"";
        qktest::writeFile(dir + "audience-slides.json", slides + "]");
        qktest::writeFile(dir + "dance-graphics.json", R"([{"data":")" + pic + R"("}])");
        qktest::writeFile(dir + "audience.json",
                          R"({"renderer":"pipeline","visible":true,"title":"round )" + std::to_string(version) +
                              R"(","appearance":{"assetsVer":)" + std::to_string(version) +
                              R"(,"slides":{"enabled":true,"ver":)" + std::to_string(version) +
                              R"(}},"dance":{"anims":["pulse"],"gfxVer":)" + std::to_string(version) + "}}");
        std::this_thread::sleep_for(5ms);
    }
    overlay->OnStop();
    done = true;
    render.join();

    EXPECT_GT(seen, 0u);
    EXPECT_GT(record->made, 0);
    // Once the poller has stopped, one more frame leaves no texture behind that
    // no slot holds: the background, the logo, the idle screen, and the slide
    // and dance graphic on screen at most.
    overlay->OnDraw();
    const qk::overlay::RenderTextures& held = overlay->textures();
    std::size_t holding = 0;
    for (const auto* list : {&held.slideTextures.textures, &held.danceTextures.textures})
        for (const auto& t : *list) holding += t.usable();
    EXPECT_LE(holding, 2u);
    for (const auto* t : {&held.bgTexture, &held.logoTexture, &held.idleTexture}) {
        EXPECT_TRUE(t->usable());
        ++holding;
    }
    EXPECT_EQ(record->live.size(), holding);
    overlay->Release();
    EXPECT_TRUE(record->live.empty()) << "Release frees every texture";
}

}  // namespace
