// The display's arithmetic, without a GPU: quads, fades, the ticker, the logo,
// slides, dance graphics and the QR code's place.
#include "overlay/composition.h"

#include <gtest/gtest.h>

#include "platform/gpu.h"

namespace {

using namespace qk::overlay;

TEST(QuadCorners, MapOutputPixelsToClipSpace) {
    const auto quarter = qk::platform::quadVertices(1920, 1080, 960, 540, 960, 540, {1, 1, 1, 1});
    // Triangle strip: bottom left, top left, bottom right, top right.
    EXPECT_FLOAT_EQ(quarter[0].x, 0);
    EXPECT_FLOAT_EQ(quarter[0].y, -1);
    EXPECT_FLOAT_EQ(quarter[1].y, 0);
    EXPECT_FLOAT_EQ(quarter[3].x, 1);
    EXPECT_FLOAT_EQ(quarter[3].y, 0);
    EXPECT_FLOAT_EQ(quarter[1].v, 0) << "the texture's top row at the quad's top";
    EXPECT_FLOAT_EQ(quarter[0].v, 1);
    const auto whole = qk::platform::quadVertices(640, 360, 0, 0, 640, 360, {0.5f, 0, 0, 0.5f});
    EXPECT_FLOAT_EQ(whole[0].x, -1);
    EXPECT_FLOAT_EQ(whole[0].y, -1);
    EXPECT_FLOAT_EQ(whole[3].x, 1);
    EXPECT_FLOAT_EQ(whole[3].y, 1);
    EXPECT_FLOAT_EQ(whole[2].r, 0.5f);
    EXPECT_FLOAT_EQ(whole[2].a, 0.5f);
}

TEST(Fades, MoveByDtOver0_3AndJumpWithoutATimeStep) {
    EXPECT_FLOAT_EQ(fadeToward(0, 1, 0.15), 0.5f);
    EXPECT_FLOAT_EQ(fadeToward(0.5f, 0, 0.03), 0.4f);
    EXPECT_FLOAT_EQ(fadeToward(0.9f, 1, 0.2), 1) << "never past the target";
    EXPECT_FLOAT_EQ(fadeToward(0, 1, 0), 1);
    EXPECT_FLOAT_EQ(fadeToward(1, 0, 0), 0);
    // Toggled every frame, it creeps back and forth and never jumps.
    float a = 0.5f;
    for (int i = 0; i < 6; ++i) {
        const float before = a;
        a = fadeToward(a, i % 2 ? 0.0f : 1.0f, 0.02);
        EXPECT_NEAR(std::abs(a - before), 0.02f / 0.3f, 1e-5);
    }
}

TEST(Ticker, ScrollsAtSpeedTimesScaleAndWraps) {
    // 1080p, speed 110, 50 frames a second: 2.2 pixels a frame.
    EXPECT_NEAR(advanceScroll(0, 1, 110, 0.02, 5000), -2.2, 1e-9);
    EXPECT_NEAR(advanceScroll(0, 1, 10, 0.02, 5000), -0.8, 1e-9) << "speed 10 moves like 40";
    EXPECT_NEAR(advanceScroll(0, 0.5, 110, 1, 5000), -55, 1e-9) << "half speed at 540p";
    EXPECT_NEAR(advanceScroll(-95, 1, 110, 0.1, 100), -6, 1e-9) << "wrapped by the texture width";
    EXPECT_NEAR(advanceScroll(-99, 1, 40, 0.025, 100), 0, 1e-9) << "exactly -width wraps to 0";
}

TEST(Ticker, BarIsAtTheTopOnlyForTopExactly) {
    EXPECT_FLOAT_EQ(tickerBar("top", 1920, 1080).y, 0);
    EXPECT_FLOAT_EQ(tickerBar("top", 1920, 1080).h, 54);
    for (const char* edge : {"Top", "bottom", "", "TOP"}) EXPECT_FLOAT_EQ(tickerBar(edge, 1920, 1080).y, 1026) << edge;
    EXPECT_FLOAT_EQ(tickerBar("", 640, 360).h, 40) << "never thinner than 40 pixels";
}

TEST(Logo, IsScaledIntoTheLeftThirdAndAtMost85PercentTall) {
    const Rect tall = logoRect(1920, 1080, 45, 100, 400);
    EXPECT_FLOAT_EQ(tall.h, 918);
    EXPECT_FLOAT_EQ(tall.w, 229.5f);
    EXPECT_FLOAT_EQ(tall.y, 36);
    EXPECT_NEAR(tall.x, (0.333f * 1920 - 229.5f) / 2, 1e-3);
    EXPECT_FLOAT_EQ(logoRect(1920, 1080, 0, 200, 100).w, 384) << "0 reads as 20 percent";
    EXPECT_FLOAT_EQ(logoRect(1920, 1080, 90, 200, 100).w, 864) << "clamped to 45 percent";
    EXPECT_FLOAT_EQ(logoRect(1920, 1080, 45, 400, 100).x, 12) << "never closer than 12 s to the edge";
}

TEST(Slides, HoldThenCrossfadeAndOneSlideNeverFades) {
    SlideClock clock;
    struct Case {
        double t;
        int index, next;
        float fade;
    };
    // Two slides, secs 8, started at t = 100.
    const Case cases[] = {{100, 0, 1, 0},   {108, 0, 1, 0},      {108.4, 0, 1, 0.5f}, {108.8, 1, 0, 0},
                          {116.8, 1, 0, 0}, {117.2, 1, 0, 0.5f}, {117.6, 0, 1, 0}};
    for (const Case& c : cases) {
        const SlideStep s = stepSlides(clock, 2, 8, c.t);
        EXPECT_EQ(s.index, c.index) << c.t;
        EXPECT_EQ(s.next, c.next) << c.t;
        EXPECT_NEAR(s.fade, c.fade, 1e-4) << c.t;
    }
    SlideClock one;
    for (double t : {10.0, 20.0, 50.0}) EXPECT_EQ(stepSlides(one, 1, 8, t).fade, 0);
    SlideClock shortHold;
    stepSlides(shortHold, 2, 1, 10);
    EXPECT_EQ(stepSlides(shortHold, 2, 1, 11.9).fade, 0) << "secs 1 holds for 2 seconds";
    EXPECT_GT(stepSlides(shortHold, 2, 1, 12.4).fade, 0);
    // A list that shrank under the index starts over.
    SlideClock late{5, 3};
    EXPECT_EQ(stepSlides(late, 2, 8, 40).index, 0);
    EXPECT_EQ(late.start, 40);
}

TEST(Dance, SlotsAndPhasesFollowTheClock) {
    const std::vector<std::string> anims{"bounce", "zoom"};
    const DanceSlot at12 = danceSlot(12.0, 6, 3, anims);
    EXPECT_EQ(at12.slot, 2);
    EXPECT_FLOAT_EQ(at12.phase, 0);
    const DanceSlot later = danceSlot(12.72, 6, 3, anims);
    EXPECT_EQ(later.slot, 2);
    EXPECT_NEAR(later.phase, 0.12f, 1e-5);
    EXPECT_NEAR(danceFade(later.phase), 1, 1e-4);
    EXPECT_NEAR(danceFade(0.06f), 0.5f, 1e-5);
    EXPECT_NEAR(danceFade(0.97f), 0.25f, 1e-4);
    // The slot picks the picture, the animation and the place: h = slot * 2654435761.
    const std::uint32_t h = 2u * 2654435761u;
    EXPECT_EQ(at12.image, h % 3);
    EXPECT_EQ(at12.animation, anims[(h >> 8) % 2]);
    EXPECT_FLOAT_EQ(at12.place, float((h >> 16) % 1000) / 1000);
    EXPECT_EQ(danceSlot(12.5, 6, 3, anims).image, at12.image) << "the same slot, the same picture";
}

TEST(Dance, EveryAnimationPlacesByItsFormula) {
    const float W = 1920, H = 1080, G = 280.8f, A = 0.5f, r = 0.25f;
    struct Case {
        const char* name;
        float p;
        Rect box;
        float opacity;
    };
    const Case cases[] = {
        {"bounce", 0.5f, {r * (W - G * A - 120) + 60, 0.78f * H - G, G * A, G}, 1},
        {"bounce", 0.125f, {r * (W - G * A - 120) + 60, 0.78f * H - G - 0.16f * H, G * A, G}, 1},
        {"zoom",
         0.5f,
         {(0.5f * r + 0.25f) * W - 1.35f * G * A / 2, 0.42f * H - 1.35f * G / 2, 1.35f * G * A, 1.35f * G},
         1},
        {"zoom", 0.02f, {}, 1},  // opacity 1 even at the start; its size is what grows
        {"float", 0.5f, {0.5f * (W + 2 * G * A) - G * A, (0.45f * r + 0.15f) * H, G * A, G}, 1},
        {"drift", 0.5f, {(0.5f * r + 0.2f) * W - G * A / 2, 0.35f * H, G * A, G}, 1},
        {"pulse", 0.5f, {(0.5f * r + 0.25f) * W - G * A / 2, 0.4f * H - G / 2, G * A, G}, 1},
        {"wobble", 0.5f, {(0.5f * r + 0.25f) * W - G * A / 2, 0.4f * H - G / 2, G * A, G}, 1},
        {"pulse", 0.06f, {}, 0.5f},
    };
    for (const Case& c : cases) {
        const DancePlacement d = placeDance(c.name, c.p, r, G, A, W, H);
        EXPECT_NEAR(d.opacity, c.opacity, 1e-4) << c.name << " " << c.p;
        if (c.box.h == 0) continue;
        EXPECT_NEAR(d.box.x, c.box.x, 0.05) << c.name;
        EXPECT_NEAR(d.box.y, c.box.y, 0.05) << c.name;
        EXPECT_NEAR(d.box.w, c.box.w, 0.05) << c.name;
        EXPECT_NEAR(d.box.h, c.box.h, 0.05) << c.name;
    }
    EXPECT_NEAR(placeDance("zoom", 0, r, G, A, W, H).box.h, 0, 1e-3) << "zoom grows from nothing";
}

TEST(Qr, SizeAndCornerRules) {
    EXPECT_FLOAT_EQ(qrSide(5, 1080), 90) << "8 percent is 86.4, never below 90 s";
    EXPECT_FLOAT_EQ(qrSide(40, 1080), 324) << "30 percent at most";
    EXPECT_FLOAT_EQ(qrSide(0, 1000), 140) << "below 1 reads as 14";
    struct Case {
        const char* corner;
        float x, y;
    };
    const float box = 151.2f * 1.18f;  // 14 % of 1080 plus two quiet zones of 9 %
    const Case cases[] = {{"tl", 28, 28},
                          {"xl", 28, 1080 - 28 - box - 30},
                          {"", 1920 - 28 - box, 1080 - 28 - box - 30},
                          {"br", 1920 - 28 - box, 1080 - 28 - box - 30},
                          {"tc", (1920 - box) / 2, 28},
                          {"lc", 28, (1080 - box - 30) / 2},
                          {"tr", 1920 - 28 - box, 28}};
    for (const Case& c : cases) {
        QrSettings qr;
        qr.corner = c.corner;
        const QrBox b = placeQr(qr, 1920, 1080, 30);
        EXPECT_NEAR(b.box, box, 1e-3) << c.corner;
        EXPECT_NEAR(b.x, c.x, 1e-3) << c.corner;
        EXPECT_NEAR(b.y, c.y, 1e-3) << c.corner;
    }
    QrSettings right;
    const QrBox b = placeQr(right, 1920, 1080, 30);
    EXPECT_NEAR(qrCaptionX(b, 100, 1920, 1080), (box - 100) / 2 + b.x, 1e-3) << "centred when it fits";
    EXPECT_NEAR(qrCaptionX(b, 400, 1920, 1080), 1920 - 8 - 400, 1e-3) << "pulled left of the edge";
    EXPECT_NEAR(qrCaptionX(b, 3000, 1920, 1080), 8, 1e-3) << "never left of 8 s";
}

}  // namespace
