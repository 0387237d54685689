// The ticker line, the idle screen and the frame's layers, drawn through the
// seams' doubles: what text goes where, in what colour, and which quads a frame
// draws.
#include <gtest/gtest.h>

#include "overlay/frame_composer.h"
#include "overlay/idle_screen.h"
#include "overlay/ticker.h"
#include "tests/overlay/recording_gpu.h"
#include "tests/overlay/recording_text.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace qk::overlay;

AudienceDocument readDoc(const char* json) {
    return AudienceDocument::read(qk::Json::parse(json));
}

std::vector<std::string> texts(const std::vector<TickerSegment>& line) {
    std::vector<std::string> out;
    for (const auto& s : line) out.push_back(s.text);
    return out;
}

const std::string kSep = "   \u2605   ";

TEST(TickerLine, SegmentsForTheDocument) {
    struct Case {
        const char* json;
        std::vector<std::string> line;
    };
    const Case cases[] = {
        {"{}", {"\U0001F3A4 KARAOKE", kSep}},
        {R"({"message":"Welcome"})", {"Welcome", kSep}},
        {R"({"message":"Welcome","appearance":{"showMessage":false},"venue":"Bar"})", {"Bar", kSep}},
        {R"({"current":{"singer":"Ann","isNew":true,"title":"Song"},"firstEmoji":""})",
         {"\U0001F3A4 NOW: ", "Ann", " \u2014 Song", kSep}},
        {R"({"current":{"singer":"Ann","isNew":true},"firstEmoji":"*","appearance":{"tickFirstNote":false}})",
         {"\U0001F3A4 NOW: ", "* ", "Ann", kSep}},
        {R"({"current":{"singer":"Ann"},"next":[{"wait":"x"},{"singer":"Bob","wait":"~5 min"}]})",
         {"\U0001F3A4 NOW: ", "Ann", kSep, "Bob", " ~5 min", kSep}},
        {R"({"next":[{"singer":"Cy","needsSong":true,"wait":"soon"}]})",
         {"UP NEXT: ", "Cy", " \u2014 Song Selection Needed", kSep}},
        {R"({"venue":"Bar","firstEmoji":"*","appearance":{"tickVenue":false}})", {"* = first song of the night", kSep}},
        {R"({"current":"Ann","next":{"singer":"Bob"}})", {"\U0001F3A4 KARAOKE", kSep}},
    };
    for (const Case& c : cases) EXPECT_EQ(texts(tickerSegments(readDoc(c.json), 1)), c.line) << c.json;
}

TEST(TickerLine, SizesWeightsAndColours) {
    const auto line =
        tickerSegments(readDoc(R"({"message":"Hi","messageColor":"#102030","next":[{"singer":"Bob","needsSong":true}],
                    "appearance":{"accent":"#00ff00","text":"#0000ff"}})"),
                       0.5f);
    ASSERT_EQ(line.size(), 6u);
    EXPECT_EQ(line[0], (TickerSegment{"Hi", 17, 900, parseHexColor("#102030", kBlack)}));
    EXPECT_EQ(line[1], (TickerSegment{kSep, 17, 700, parseHexColor("#00ff00", kBlack)}));
    EXPECT_EQ(line[3], (TickerSegment{"Bob", 17, 700, parseHexColor("#0000ff", kBlack)}));
    EXPECT_EQ(line[4].size, 14) << "small is 28 s";
    EXPECT_EQ(line[4].color, parseHexColor("#00ff00", kBlack)) << "song needed in the accent colour";
}

TEST(TickerLine, PictureIsTheMeasuredLinePlus6sAndAtLeast8Wide) {
    auto record = std::make_shared<qktest::TextRecord>();
    qktest::RecordingText text(record);
    std::int32_t w = 0, h = 0;
    const auto line = tickerSegments(readDoc(R"({"message":"Welcome"})"), 0.5f);
    const auto picture = renderTicker(text, line, 0.5f, &w, &h);
    // The double measures half the size per byte and 1.25 sizes tall.
    EXPECT_EQ(w, static_cast<int>(std::ceil(0.5f * 17 * (7 + kSep.size()))));
    EXPECT_EQ(h, static_cast<int>(std::ceil(1.25f * 17)) + 3);
    EXPECT_EQ(picture.width, w);
    ASSERT_EQ(record->lastRuns.size(), 2u);
    EXPECT_EQ(record->lastRuns[1].start, 7u);
    EXPECT_EQ(record->drawn.at(0).y, 1.5f) << "drawn 3 s down";
    const auto small = renderTicker(text, {{"i", 1, 400, kWhite}}, 1, &w, &h);
    EXPECT_EQ(w, 8) << "never narrower than 8";
    EXPECT_EQ(h, 43 + 6) << "the base size sets the line's height here";
}

struct IdleFixture {
    std::shared_ptr<qktest::TextRecord> record = std::make_shared<qktest::TextRecord>();
    qktest::RecordingText text{record};
    IdleLayout layout;

    void draw(const char* json, float W = 1920, float H = 1080) {
        const AudienceDocument doc = readDoc(json);
        text.render(static_cast<int>(W), static_cast<int>(H),
                    [&](qk::platform::Canvas& c) { drawIdleLayer(c, text, doc, W, H, layout); });
    }
    int rows() const {
        int n = 0;
        for (const auto& d : record->drawn)
            if (d.text.empty() && d.h == 1) ++n;  // one divider per row
        return n;
    }
};

TEST(IdleScreen, TitleFallsBackAndTurnsPlainLettersToCapitals) {
    struct Case {
        const char* json;
        const char* title;
    };
    const Case cases[] = {{"{}", "KARAOKE TONIGHT"},
                          {R"({"venue":"the Pub"})", "KARAOKE @ THE PUB"},
                          {R"({"title":"caf\u00e9 night"})", "CAF\u00e9 NIGHT"}};
    for (const Case& c : cases) {
        IdleFixture f;
        f.draw(c.json);
        EXPECT_NE(f.record->find(c.title), nullptr) << c.json;
    }
}

TEST(IdleScreen, PerformerRows) {
    IdleFixture f;
    f.draw(R"({"rotation":[{"singer":"Ann","title":"Hello","wait":"now"},{"singer":"Bob","wait":"~4 min","title":"Yo"},
                            {"isNew":true,"needsSong":true,"title":"hidden"}],
               "firstEmoji":"*","appearance":{"showListSongs":false,"accent":"#ff0000"},"firstColor":"#00ff00"})");
    const Color green = parseHexColor("#00ff00", kBlack), red = parseHexColor("#ff0000", kBlack);
    const auto* one = f.record->find("1 \u25B6");
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->color, green);
    EXPECT_EQ(f.record->find("Ann")->color, green);
    EXPECT_NE(f.record->find("up next"), nullptr);
    EXPECT_EQ(f.record->find("now"), nullptr) << "the first row says up next, not its wait";
    EXPECT_EQ(f.record->find("2")->color, red);
    EXPECT_NE(f.record->find("~4 min"), nullptr);
    EXPECT_EQ(f.record->find("Yo"), nullptr) << "showListSongs false hides titles";
    EXPECT_NE(f.record->find("* Open Slot"), nullptr);
    const auto* song = f.record->find("\U0001F3B5 Song selection needed");
    ASSERT_NE(song, nullptr) << "needsSong wins over showListSongs false";
    EXPECT_EQ(song->color, red);
    EXPECT_EQ(song->style.weight, 700);
    EXPECT_EQ(f.record->find("hidden"), nullptr);
    EXPECT_EQ(f.rows(), 3);
}

TEST(IdleScreen, RowLimitAndListBottom) {
    std::string ten = R"({"idleCount":3,"rotation":[)";
    for (int i = 0; i < 10; ++i) ten += std::string(i ? "," : "") + R"({"singer":"S)" + std::to_string(i) + "\"}";
    IdleFixture limited;
    limited.draw((ten + "]}").c_str());
    EXPECT_EQ(limited.rows(), 3);

    std::string many = R"({"rotation":[)";
    for (int i = 0; i < 30; ++i) many += std::string(i ? "," : "") + R"({"singer":"S"})";
    IdleFixture small;
    small.draw((many + "]}").c_str(), 960, 540);
    // At 540p: title 28.75 + 2, list from y 21 + 6 + 8 + 21.25 + 10 = 99.75 (column start 21, heading 17 s tall
    // at 1.25 sizes); rows of 25 must end above 540 - 20 = 520.
    const float start = 21 + 1.25f * 23 + 2 + 3 + 4 + 1.25f * 17 + 1.5f + 5;
    const int fit = static_cast<int>((520 - start) / 25);
    EXPECT_EQ(small.rows(), std::min(fit, 10));
    IdleFixture empty;
    empty.draw(R"({"rotation":[]})");
    EXPECT_NE(empty.record->find("Come sing! Ask the KJ to get on the list \U0001F3A4"), nullptr);
    EXPECT_NE(empty.record->find("UPCOMING PERFORMERS"), nullptr);
}

TEST(IdleScreen, DanceBlockWinsOverNowPlayingAndAsksForABanner) {
    IdleFixture f;
    f.draw(R"({"dance":{"cta":"Get up!","title":"Song","artist":"Band"},"bgNow":{"title":"Bg"}})");
    EXPECT_EQ(f.record->find("\u266A CURRENTLY PLAYING"), nullptr);
    const auto* label = f.record->find("\U0001F57A DANCE TIME");
    ASSERT_NE(label, nullptr);
    EXPECT_FLOAT_EQ(f.layout.slidesBottom, label->y) << "the slide box ends at the dance block's top";
    EXPECT_EQ(f.layout.bannerText, "Get up!");
    EXPECT_EQ(f.record->find("Get up!"), nullptr) << "the call to action lives in the banner";
    EXPECT_NE(f.record->find("Song \u2014 Band"), nullptr);
    EXPECT_FLOAT_EQ(f.layout.bannerX, 36 - 14);

    IdleFixture noCta;
    noCta.draw(R"({"dance":{"cta":""}})");
    EXPECT_TRUE(noCta.layout.bannerText.empty());
    IdleFixture bg;
    bg.draw(R"({"bgNow":{"title":"Bg","artist":"Art"}})");
    EXPECT_NE(bg.record->find("\u266A CURRENTLY PLAYING"), nullptr);
    EXPECT_LT(bg.layout.slidesBottom, 1080 - 16);
}

TEST(IdleScreen, QrCodeIsDrawnAsModulesInAWhiteBox) {
    IdleFixture f;
    f.draw(R"({"qr":{"url":"https://example.org/sing","corner":"tl","label":"Scan me"}})");
    const qktest::DrawnItem* box = nullptr;
    int dark = 0;
    for (const auto& d : f.record->drawn) {
        if (d.rounded)
            box = &d;
        else if (box && d.text.empty() && d.color == kBlack)
            ++dark;
    }
    ASSERT_NE(box, nullptr);
    EXPECT_FLOAT_EQ(box->x, 28);
    EXPECT_FLOAT_EQ(box->y, 28);
    EXPECT_GT(dark, 100);
    EXPECT_NE(f.record->find("Scan me"), nullptr);

    IdleFixture tooLong;
    tooLong.draw(("{\"qr\":{\"url\":\"" + std::string(4000, 'x') + "\"}}").c_str());
    EXPECT_TRUE(tooLong.layout.qrTooLong);
}

// The frame, with both doubles.
struct FrameFixture {
    std::shared_ptr<qktest::GpuRecord> gpuRecord = std::make_shared<qktest::GpuRecord>();
    std::shared_ptr<qktest::TextRecord> textRecord = std::make_shared<qktest::TextRecord>();
    qktest::RecordingGpu gpu{gpuRecord};
    qktest::RecordingText text{textRecord};
    OverlayState state;
    RenderTextures textures;
    FrameComposer composer;
    qk::LogFile log;
    std::shared_ptr<const AudienceSnapshot> snapshot;

    void setDoc(const char* json) {
        snapshot = std::make_shared<AudienceSnapshot>(qk::Json::parse(json));
        state.stateDirty = true;
    }
    std::size_t frame(double t, double dt, float W = 1920, float H = 1080) {
        gpuRecord->quads.clear();
        qk::overlay::TakenStateChange change(state.stateDirty);
        composer.draw(gpu, text, state, *snapshot, change, textures, log, W, H, t, dt);
        return gpuRecord->quads.size();
    }
};

TEST(Frame, HiddenPipelineFadesOutThenDrawsNothing) {
    FrameFixture f;
    f.setDoc(R"({"renderer":"pipeline","visible":true})");
    EXPECT_GT(f.frame(1, 0), 0u);
    EXPECT_FLOAT_EQ(f.composer.masterAlpha(), 1) << "the first frame jumps to its target";
    f.setDoc(R"({"renderer":"pipeline","visible":false})");
    EXPECT_GT(f.frame(1.1, 0.1), 0u);
    EXPECT_GT(f.frame(1.2, 0.1), 0u);
    EXPECT_EQ(f.frame(1.3, 0.1), 0u);
    EXPECT_EQ(f.frame(1.4, 0.1), 0u);
    EXPECT_EQ(f.gpuRecord->saves, f.gpuRecord->restores);
    // A document that arrives while faded out waits for the fade in.
    f.setDoc(R"({"renderer":"Pipeline","visible":true,"title":"Later"})");
    EXPECT_EQ(f.frame(1.5, 0.1), 0u) << "a capital P is another renderer";
    EXPECT_TRUE(f.state.stateDirty);
}

TEST(Frame, AFrameThatThrowsStillGivesTheHostItsStateBack) {
    FrameFixture f;
    f.setDoc(R"({"renderer":"pipeline","visible":true,"isPlaying":true})");
    f.gpuRecord->throwOnDraw = true;
    EXPECT_THROW(f.frame(1, 0), std::runtime_error);
    EXPECT_EQ(f.gpuRecord->saves, 1);
    EXPECT_EQ(f.gpuRecord->restores, 1);
}

TEST(Frame, TickerBarQuadsAndScrolling) {
    FrameFixture f;
    f.setDoc(R"({"renderer":"pipeline","visible":true,"isPlaying":true,"edge":"top","speed":110,
                 "appearance":{"bar":"#ff0000"}})");
    f.frame(5, 0);
    const auto& q = f.gpuRecord->quads;
    ASSERT_GE(q.size(), 4u);
    EXPECT_FLOAT_EQ(q[0].y, 0);
    EXPECT_FLOAT_EQ(q[0].h, 54);
    EXPECT_NEAR(q[0].color.r, 0.87f, 1e-6) << "the bar at 0.87, premultiplied";
    EXPECT_NEAR(q[0].color.a, 0.87f, 1e-6);
    EXPECT_FLOAT_EQ(q[2].y, 52) << "the lower accent line";
    ASSERT_NE(q[3].texture, 0u);
    EXPECT_FLOAT_EQ(q[3].x, 0) << "a new ticker starts at the left edge";
    const float tw = q[3].w;
    EXPECT_EQ(q.size(), 3 + static_cast<std::size_t>(std::ceil(1920 / tw))) << "copies fill the width";
    f.frame(5.02, 0.02);
    EXPECT_NEAR(f.gpuRecord->quads[3].x, -2.2, 1e-4);
}

TEST(Frame, IdleLayersWithSlidesAndDance) {
    FrameFixture f;
    {
        std::lock_guard lock(f.state.imageMutex);
        BgraImage pic;
        pic.width = 4;
        pic.height = 2;
        pic.pixels.assign(32, 255);
        f.state.slideImages = {pic, pic};
        f.state.danceImages = {pic};
    }
    f.state.slidesDirty = true;
    f.setDoc(R"({"renderer":"pipeline","visible":true,"appearance":{"slides":{"enabled":true,"secs":8}},
                 "dance":{"anims":["pulse"],"gfxSecs":6}})");
    // t = 12.72: dance slot 2 at full fade; the slide show starts now.
    const std::size_t n = f.frame(12.72, 0);
    // One slide, the idle layer, one dance graphic.
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(f.composer.lastGfxSlot(), 2);
    const auto& dance = f.gpuRecord->quads.back();
    EXPECT_NEAR(dance.h, 0.26f * 1080 * (1 + 0.14f * std::sin(6 * 3.1415927f * 0.12f)), 0.01);
    EXPECT_NEAR(dance.color.a, 1, 1e-4);
    // gfxOff: the graphic on screen finishes its slot, and none starts after it.
    f.setDoc(R"({"renderer":"pipeline","visible":true,"appearance":{"slides":{"enabled":true}},
                 "dance":{"anims":["pulse"],"gfxOff":true}})");
    EXPECT_EQ(f.frame(17, 0.1), 3u);
    EXPECT_EQ(f.frame(18.5, 0.1), 2u);
    // Slide 0 held 8 seconds from 12.72; at 21.12 it is halfway into slide 1.
    EXPECT_EQ(f.frame(21.12, 0.1), 3u) << "two slides crossfading and the idle layer";
    EXPECT_NEAR(f.gpuRecord->quads[0].color.a, 0.5f, 1e-3);
    EXPECT_NEAR(f.gpuRecord->quads[1].color.a, 0.5f, 1e-3);
    EXPECT_EQ(f.frame(25, 0.1), 2u) << "slide 1 alone; still no dance graphic";
    EXPECT_EQ(f.composer.slideClock().index, 1);
    // A new slide list starts at slide 0 again.
    f.state.slidesDirty = true;
    f.frame(21.2, 0.08);
    EXPECT_EQ(f.composer.slideClock().index, 0);
    EXPECT_DOUBLE_EQ(f.composer.slideClock().start, 21.2);
}

TEST(Frame, IdleTextureIsRebuiltForANewSizeOnly) {
    FrameFixture f;
    f.setDoc(R"({"renderer":"pipeline","visible":true})");
    f.frame(1, 0);
    f.frame(1.1, 0.1);
    EXPECT_EQ(f.textRecord->renders.size(), 1u);
    f.frame(1.2, 0.1, 1280, 720);
    ASSERT_EQ(f.textRecord->renders.size(), 2u);
    EXPECT_EQ(f.textRecord->renders[1], std::make_pair(1280, 720));
}

TEST(Frame, AUrlTooLongForAQrCodeShowsNoCodeAndSaysSoOnce) {
    qktest::TempDir dir;
    FrameFixture f;
    f.log = qk::LogFile::companion(dir.path() + "/overlay.log");
    f.setDoc(
        ("{\"renderer\":\"pipeline\",\"visible\":true,\"qr\":{\"url\":\"" + std::string(3000, 'x') + "\"}}").c_str());
    f.frame(1, 0);
    f.frame(1.1, 0.1);
    EXPECT_EQ(f.textRecord->renders.size(), 1u);
    for (const auto& d : f.textRecord->drawn) EXPECT_FALSE(d.rounded) << "no QR box";
    const std::string log = qktest::readFile(dir.path() + "/overlay.log");
    EXPECT_NE(log.find("QR code: url of 3000 bytes is too long for a QR code, none shown"), std::string::npos) << log;
    EXPECT_EQ(log.find("none shown"), log.rfind("none shown")) << "one line, at the one rebuild";
}

TEST(Pipeline, BuiltOncePerDeviceAndAFailureWaitsForDeviceClose) {
    qktest::TempDir dir;
    const std::string path = dir.path() + "/overlay.log";
    const qk::LogFile log = qk::LogFile::companion(path);
    auto record = std::make_shared<qktest::GpuRecord>();
    qktest::RecordingGpu gpu(record);
    PipelineKeeper keeper;
    int a = 0, b = 0;
    EXPECT_TRUE(keeper.ensure(gpu, &a, log));
    EXPECT_TRUE(keeper.ensure(gpu, &a, log));
    EXPECT_EQ(record->pipelineBuilds, 1);
    EXPECT_TRUE(keeper.ensure(gpu, &b, log));
    EXPECT_EQ(record->pipelineBuilds, 2) << "another device builds again";
    keeper.deviceClosed(gpu);
    record->failNextBuild = "shader vs_4_0 FAIL: broken";
    EXPECT_FALSE(keeper.ensure(gpu, &a, log));
    EXPECT_FALSE(keeper.ensure(gpu, &a, log));
    EXPECT_FALSE(keeper.ensure(gpu, &b, log));
    EXPECT_EQ(record->pipelineBuilds, 3) << "no build after a failure";
    keeper.deviceClosed(gpu);
    EXPECT_TRUE(keeper.ensure(gpu, &a, log));
    const std::string text = qktest::readFile(path);
    EXPECT_NE(text.find("shader vs_4_0 FAIL: broken"), std::string::npos);
    int ready = 0;
    for (auto at = text.find("pipeline ready"); at != std::string::npos; at = text.find("pipeline ready", at + 1))
        ++ready;
    EXPECT_EQ(ready, 3);
}

}  // namespace
