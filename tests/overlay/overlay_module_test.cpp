// The built QuorvaleOverlay module, loaded as the host loads it, reading a real
// data folder and decoding a real picture.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "host/plugin_library.h"
#include "tests/overlay/picture_fixtures.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

TEST(OverlayModule, PollsTheDataFolderBetweenStartAndStop) {
    std::string error;
    const auto library = qkhost::PluginLibrary::open(std::string(QK_PLUGIN_DIR) + "/QuorvaleOverlay.so", &error);
    ASSERT_TRUE(library) << error;
    qkhost::PluginKind kind;
    auto* overlay = static_cast<vdj::VideoFxPlugin*>(library->create(&kind));
    ASSERT_NE(overlay, nullptr);
    ASSERT_EQ(kind, qkhost::PluginKind::VideoFx);

    qktest::TempDir home;
    qktest::FakeHost host;
    host.folder = home.path() + "/";
    overlay->host = &host;
    ASSERT_EQ(overlay->OnLoad(), vdj::kOk);
    const std::string dir = home.path() + "/QuorvaleKaraoke/";
    qktest::writeFile(dir + "audience-assets.json",
                      R"({"logo":")" + qktest::pictureDataText("webp", 3, 3, 0x2040FFFF) + R"("})");
    qktest::writeFile(dir + "audience.json", R"({"renderer":"pipeline","appearance":{"assetsVer":7}})");

    EXPECT_EQ(overlay->OnStart(), vdj::kOk);
    const std::string expected = "assets refreshed (ver=7) bg=no logo=yes";
    for (int i = 0; i < 300 && qktest::readFile(dir + "overlay.log").find(expected) == std::string::npos; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(overlay->OnDraw(), vdj::kOk);
    EXPECT_EQ(overlay->OnDeviceClose(), vdj::kOk);
    EXPECT_EQ(overlay->OnStop(), vdj::kOk);
    overlay->Release();

    const std::string log = qktest::readFile(dir + "overlay.log");
    for (const std::string& line :
         {"===== OnLoad (QuorvaleOverlay W3b) - qkDir=" + home.path() + "/QuorvaleKaraoke =====",
          "polling " + dir + "audience.json", std::string("OnStart"), expected, std::string("OnDeviceClose"),
          std::string("OnStop after 1 frames")})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

}  // namespace
