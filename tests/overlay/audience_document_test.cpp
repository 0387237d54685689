// Reading the page's files into typed values: types, defaults and limits.
#include "overlay/audience_document.h"

#include <gtest/gtest.h>

namespace {

using qk::Json;
using qk::overlay::AudienceDocument;
using qk::overlay::Color;
using qk::overlay::parseHexColor;

AudienceDocument read(const char* text) {
    return AudienceDocument::read(Json::parse(text));
}

const Color kFallback{0.25f, 0.5f, 0.75f, 0.5f};

TEST(HexColor, SixDigitsOnly) {
    EXPECT_EQ(parseHexColor("#ff7a1a", kFallback), (Color{1.0f, 122 / 255.0f, 26 / 255.0f, 1}));
    EXPECT_EQ(parseHexColor("#FF7A1A", kFallback), parseHexColor("#ff7a1a", kFallback));
    for (const char* text : {"ff7a1a", "#fff", "#ff7a1a80", "#ff7a1g", "#g07a1a", "#0x7a1a", "", "#ff7a1 "})
        EXPECT_EQ(parseHexColor(text, kFallback), kFallback) << text;
}

TEST(AudienceDocument, EmptyObjectGivesTheDefaults) {
    const AudienceDocument d = read("{}");
    EXPECT_FALSE(d.visible);
    EXPECT_EQ(d.speed, 110);
    EXPECT_EQ(d.listLabel, "Upcoming Performers");
    EXPECT_EQ(d.idleCount, 10);
    EXPECT_EQ(d.messageColor, parseHexColor("#ff7a1a", kFallback));
    EXPECT_EQ(d.firstColor, parseHexColor("#5dd39e", kFallback));
    EXPECT_FALSE(d.rotation || d.current || d.next || d.bgNow || d.dance || d.qr || d.appearance.slides);
    EXPECT_EQ(d.appearance.logoWidth, 20);
    EXPECT_TRUE(d.appearance.logoShow && d.appearance.shadowOn && d.appearance.tickFirstNote);
    EXPECT_EQ(d.appearance.dim, parseHexColor("#b8bfcc", kFallback));
    EXPECT_EQ(d.appearance.barLine, (Color{1.0f, 0.478f, 0.102f, 1}));
    EXPECT_EQ(d.assetsVersion(), -1);
    EXPECT_EQ(d.slidesVersion(), -1);
    EXPECT_FALSE(d.danceVersion());
}

TEST(AudienceDocument, WrongTypesCountAsAbsent) {
    const AudienceDocument d = read(R"({"visible":1,"isPlaying":"true","speed":"300","title":5,
        "rotation":{},"next":"Bob","current":["Ann"],"dance":[],"qr":"x","appearance":[1],
        "messageColor":"#fff","listLabel":""})");
    EXPECT_FALSE(d.visible);
    EXPECT_FALSE(d.isPlaying);
    EXPECT_EQ(d.speed, 110);
    EXPECT_EQ(d.title, "");
    EXPECT_FALSE(d.rotation || d.next || d.current || d.dance || d.qr);
    EXPECT_EQ(d.messageColor, d.appearance.accent) << "a three-digit colour falls back to the accent";
    EXPECT_EQ(d.listLabel, "Upcoming Performers");
}

TEST(AudienceDocument, ListsKeepEveryElementInPlace) {
    const AudienceDocument d = read(R"({"rotation":[7,{"singer":"Ann","isNew":true,"needsSong":true}],
        "next":[null,{"singer":"Bob","wait":"~5 min"}],"messageColor":"#00ff00","appearance":{"accent":"#0000ff"}})");
    ASSERT_TRUE(d.rotation);
    ASSERT_EQ(d.rotation->size(), 2u);
    EXPECT_EQ((*d.rotation)[0].rowName(), "Open Slot");
    EXPECT_EQ((*d.rotation)[1].rowName(), "Ann");
    EXPECT_TRUE((*d.rotation)[1].isNew && (*d.rotation)[1].needsSong);
    ASSERT_EQ(d.next->size(), 2u);
    EXPECT_EQ((*d.next)[0].singer, "");
    EXPECT_EQ((*d.next)[1].wait, "~5 min");
    EXPECT_EQ(d.messageColor, (Color{0, 1, 0, 1}));
    EXPECT_EQ(d.appearance.accent, (Color{0, 0, 1, 1}));
    EXPECT_EQ(d.appearance.barLine, (Color{0, 0, 1, 1}));
}

TEST(AudienceDocument, NumbersTruncateAndClamp) {
    struct Case {
        const char* json;
        std::int32_t idleCount, logoWidth, qrSize, assetsVer;
        double speed, gfxSecs, gfxSize, slideSecs;
    };
    const Case cases[] = {
        {R"({"idleCount":0.5,"appearance":{"logoWidth":50,"assetsVer":3.9},"qr":{"size":0.9},"dance":{"gfxSecs":2,"gfxSize":9}})",
         10, 45, 14, 3, 110, 6, 26, 8},
        {R"({"idleCount":3.99,"appearance":{"logoWidth":3,"assetsVer":-0.5,"slides":{"secs":1}},"qr":{"size":40},"dance":{"gfxSecs":25,"gfxSize":61},"speed":10})",
         3, 5, 30, 0, 40, 6, 26, 2},
        {R"({"idleCount":-2,"appearance":{"logoWidth":-1,"assetsVer":1e12},"qr":{"size":5},"dance":{"gfxSecs":20,"gfxSize":10},"speed":250.5})",
         10, 20, 8, INT32_MIN, 250.5, 20, 10, 8},
        {R"({"appearance":{"logoWidth":0.7,"assetsVer":-3.9,"slides":{"secs":12.5}},"qr":{"size":22.8},"dance":{"gfxSecs":3,"gfxSize":60}})",
         10, 20, 22, -3, 110, 3, 60, 12.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        const AudienceDocument d = read(c.json);
        EXPECT_EQ(d.idleCount, c.idleCount);
        EXPECT_EQ(d.appearance.logoWidth, c.logoWidth);
        EXPECT_EQ(d.qr->size, c.qrSize);
        EXPECT_EQ(d.assetsVersion(), c.assetsVer);
        EXPECT_EQ(d.speed, c.speed);
        EXPECT_EQ(d.dance->gfxSecs, c.gfxSecs);
        EXPECT_EQ(d.dance->gfxSize, c.gfxSize);
        EXPECT_EQ(d.appearance.slides ? d.appearance.slides->secs : 8, c.slideSecs);
    }
}

TEST(AudienceDocument, DanceAndQrObjects) {
    const AudienceDocument d =
        read(R"({"dance":{"anims":["zoom",5],"cta":"Dance!"},"qr":{"url":"https://x","corner":""}})");
    ASSERT_TRUE(d.dance);
    EXPECT_EQ(d.dance->anims, (std::vector<std::string>{"zoom", "pulse"}));
    EXPECT_EQ(d.dance->cta, "Dance!");
    EXPECT_EQ(d.danceVersion(), -1) << "dance without gfxVer";
    EXPECT_EQ(d.qr->corner, "br");
    EXPECT_EQ(d.qr->url, "https://x");
    EXPECT_EQ(read(R"({"dance":{"gfxVer":4}})").danceVersion(), 4);
    EXPECT_EQ(read(R"({"appearance":{"slides":{"ver":2,"enabled":true}}})").slidesVersion(), 2);
}

TEST(PictureFiles, WhichElementsCarryAPicture) {
    const Json slides =
        Json::parse(R"(["a",{"data":"b"},{"data":"c","hidden":true},{"data":"d","hidden":1},5,"",{"hidden":false}])");
    EXPECT_EQ(qk::overlay::readSlideTexts(slides), (std::vector<std::string>{"a", "b", "d"}));
    const Json dance = Json::parse(R"(["a",{"data":"b"},{"data":"c","hidden":true},{"data":""}])");
    EXPECT_EQ(qk::overlay::readDanceTexts(dance), (std::vector<std::string>{"b"}));
    EXPECT_TRUE(qk::overlay::readSlideTexts(Json::parse(R"({"data":"x"})")).empty());
    const auto assets = qk::overlay::readAssetTexts(Json::parse(R"({"bg":"x","logo":7})"));
    EXPECT_EQ(assets.bg, "x");
    EXPECT_EQ(assets.logo, "");
}

}  // namespace
