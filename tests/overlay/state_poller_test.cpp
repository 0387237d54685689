// One poller pass at a time over real files in a temporary data folder.
#include "overlay/state_poller.h"

#include <gtest/gtest.h>

#include "kit/log.h"
#include "tests/overlay/picture_fixtures.h"
#include "tests/support/temp_dir.h"

namespace {

using qk::overlay::OverlayState;
using qk::overlay::StatePoller;

int countLines(const std::string& log, const std::string& text) {
    int n = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
}

class StatePollerTest : public ::testing::Test {
protected:
    qktest::TempDir dir;
    OverlayState state;
    qk::LogFile log = qk::LogFile::companion(dir.file("overlay.log"));
    std::unique_ptr<qk::platform::ImageDecoder> decoder = qk::platform::ImageDecoder::create();
    StatePoller poller{state,
                       {dir.file("audience.json"), dir.file("audience-assets.json"), dir.file("audience-slides.json"),
                        dir.file("dance-graphics.json")},
                       log};

    void pass() { poller.pollOnce(decoder.get()); }
    void audience(const std::string& text) { qktest::writeFile(dir.file("audience.json"), text); }
    std::string logText() { return qktest::readFile(dir.file("overlay.log")); }
    std::string title() {
        const auto s = state.snapshot();
        return s ? s->doc.title : "<none>";
    }
    void writeAssets(std::uint32_t bgColour, std::uint32_t logoColour) {
        qktest::writeFile(dir.file("audience-assets.json"),
                          R"({"bg":")" + qktest::pictureDataText("png", 4, 2, bgColour) + R"(","logo":")" +
                              qktest::pictureDataText("png", 2, 2, logoColour) + R"("})");
    }
};

TEST_F(StatePollerTest, OnlyChangedBytesAreTaken) {
    audience(R"({"title":"A"})");
    pass();
    EXPECT_TRUE(state.stateDirty.exchange(false));
    EXPECT_EQ(title(), "A");

    audience(R"({"title":"A"})");  // the same bytes written again
    pass();
    EXPECT_FALSE(state.stateDirty.exchange(false));

    audience(R"({"title":"B"})");  // one byte changed
    pass();
    EXPECT_TRUE(state.stateDirty.exchange(false));
    EXPECT_EQ(title(), "B");
}

TEST_F(StatePollerTest, InvalidOrNonObjectTextKeepsThePreviousDocument) {
    audience(R"({"title":"kept"})");
    pass();
    state.stateDirty = false;
    for (const char* text : {R"({"title":"new)", R"(["title","array"])", R"({"title":"x"} // note)", "42"}) {
        audience(text);
        pass();
        EXPECT_FALSE(state.stateDirty.exchange(false)) << text;
        EXPECT_EQ(title(), "kept") << text;
    }
    std::remove(dir.file("audience.json").c_str());
    pass();
    EXPECT_EQ(title(), "kept") << "a missing file";

    audience(R"({"title":"new"})");  // the write completed
    pass();
    EXPECT_TRUE(state.stateDirty.exchange(false));
    EXPECT_EQ(title(), "new");
}

TEST_F(StatePollerTest, AssetsLoadOnlyWhenTheirVersionChanges) {
    writeAssets(0xFF0000FF, 0x0000FFFF);
    struct Step {
        const char* audience;
        bool loads;
        const char* version;
    };
    const Step steps[] = {
        {R"({"title":"no appearance"})", false, nullptr},
        {R"({"appearance":{}})", false, nullptr},
        {R"({"appearance":{"assetsVer":-1}})", false, nullptr},
        {R"({"appearance":{"assetsVer":0}})", true, "ver=0"},
        {R"({"appearance":{"assetsVer":0},"title":"other"})", false, nullptr},
        {R"({"appearance":{"assetsVer":1}})", true, "ver=1"},
        {R"({"appearance":{"assetsVer":0}})", true, "ver=0"},  // back to a value seen before
        {R"({"appearance":{"assetsVer":3.9}})", true, "ver=3"},
        {R"({"appearance":{"assetsVer":3}})", false, nullptr},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.audience);
        const int before = countLines(logText(), "assets refreshed");
        audience(s.audience);
        pass();
        const std::string log = logText();
        EXPECT_EQ(countLines(log, "assets refreshed"), before + (s.loads ? 1 : 0));
        EXPECT_EQ(state.assetsDirty.exchange(false), s.loads);
        if (s.loads) {
            EXPECT_NE(log.find(std::string("assets refreshed (") + s.version + ") bg=yes logo=yes"), std::string::npos);
        }
    }
    std::lock_guard lock(state.imageMutex);
    EXPECT_EQ(state.bgImage.width, 4);
    EXPECT_EQ(state.logoImage.width, 2);
    EXPECT_EQ(state.logoImage.pixels[0], 255) << "blue logo, blue first";
}

TEST_F(StatePollerTest, MissingOrBrokenAssetsClearBothPictures) {
    writeAssets(0xFF0000FF, 0x0000FFFF);
    audience(R"({"appearance":{"assetsVer":1}})");
    pass();
    struct Step {
        const char* assets;  // nullptr: no file
        const char* line;
    };
    const Step steps[] = {
        {nullptr, "assets refreshed (ver=2) bg=no logo=no"},
        {R"(["not","an","object"])", "assets refreshed (ver=3) bg=no logo=no"},
        {R"({"bg":"data:image/png;base64,","logo":"no marker"})", "assets refreshed (ver=4) bg=no logo=no"},
    };
    int version = 2;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.line);
        if (s.assets == nullptr)
            std::remove(dir.file("audience-assets.json").c_str());
        else
            qktest::writeFile(dir.file("audience-assets.json"), s.assets);
        audience(R"({"appearance":{"assetsVer":)" + std::to_string(version++) + "}}");
        pass();
        EXPECT_NE(logText().find(s.line), std::string::npos);
        std::lock_guard lock(state.imageMutex);
        EXPECT_FALSE(state.bgImage.valid());
        EXPECT_FALSE(state.logoImage.valid());
    }
}

TEST_F(StatePollerTest, SlidesAndDanceGraphicsKeepOnlyTheirPictures) {
    const std::string red = qktest::pictureDataText("png", 1, 1, 0xFF0000FF);
    const std::string green = qktest::pictureDataText("png", 2, 1, 0x00FF00FF);
    const std::string blue = qktest::pictureDataText("png", 3, 1, 0x0000FFFF);
    qktest::writeFile(
        dir.file("audience-slides.json"),
        "[\"" + red + R"(",{"data":")" + green + R"(","hidden":true},{"data":")" + blue + R"("},"no picture here",7])");
    qktest::writeFile(dir.file("dance-graphics.json"),
                      "[\"" + red + R"(",{"data":")" + green + R"("},{"data":")" + blue + R"(","hidden":true}])");

    audience(R"({"appearance":{"slides":{"ver":0}},"dance":{"cta":"no version yet"}})");
    pass();
    EXPECT_NE(logText().find("slides refreshed (ver=0) count=2"), std::string::npos);
    EXPECT_EQ(logText().find("dance graphics refreshed"), std::string::npos) << "dance without gfxVer loads nothing";
    EXPECT_FALSE(state.gfxDirty.load());
    {
        std::lock_guard lock(state.imageMutex);
        ASSERT_EQ(state.slideImages.size(), 2u);
        EXPECT_EQ(state.slideImages[0].width, 1);  // the bare string
        EXPECT_EQ(state.slideImages[1].width, 3);  // the hidden one left out
    }

    audience(R"({"appearance":{"slides":{"ver":0}},"dance":{"gfxVer":0}})");
    pass();
    EXPECT_NE(logText().find("dance graphics refreshed (ver=0) count=1"), std::string::npos);
    EXPECT_TRUE(state.gfxDirty.load());
    std::lock_guard lock(state.imageMutex);
    ASSERT_EQ(state.danceImages.size(), 1u);
    EXPECT_EQ(state.danceImages[0].width, 2) << "a bare string is no dance graphic";
}

TEST_F(StatePollerTest, WithoutADecoderNoPictureIsLoaded) {
    writeAssets(0xFF0000FF, 0x0000FFFF);
    audience(R"({"appearance":{"assetsVer":5,"slides":{"ver":5}},"dance":{"gfxVer":5}})");
    poller.pollOnce(nullptr);
    EXPECT_TRUE(state.stateDirty.load()) << "the document is still taken";
    EXPECT_FALSE(state.assetsDirty || state.slidesDirty || state.gfxDirty);
    EXPECT_EQ(logText().find("refreshed"), std::string::npos);
}

}  // namespace
