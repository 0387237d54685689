// The text and canvas backend on real Pango and Cairo: measurements, ellipsis,
// colour emoji, premultiplied pixels and the size clamp.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/text_canvas.h"
#include "tests/platform/text_engine_checks.h"

namespace {

using qk::platform::Canvas;
using qk::platform::CanvasPicture;
using qk::platform::TextEngine;
using qk::platform::TextStyle;

using qktest::at;
using qktest::Bgra;

TEST(PangoText, LayoutsMeasureAndCutWithAnEllipsis) {
    auto text = TextEngine::create();
    qktest::expectLayoutsMeasureAndCut(*text);
}

TEST(PangoText, EmojiKeepTheirColoursAndTextTakesTheBrush) {
    auto text = TextEngine::create();
    const auto emoji = text->makeLayout("\U0001F3A4", TextStyle{64, 400});
    const auto letters = text->makeLayout("HH", TextStyle{64, 900});
    const CanvasPicture p = text->render(300, 100, [&](Canvas& c) {
        c.drawText(*emoji, 0, 0, {1, 1, 1, 1});
        c.drawText(*letters, 150, 0, {1, 1, 1, 1});
    });
    ASSERT_EQ(p.width, 300);
    int coloured = 0, brushWrong = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 300; ++x) {
            const Bgra v = at(p, x, y);
            if (v.a < 200) continue;
            const bool grey = std::abs(v.r - v.g) < 8 && std::abs(v.g - v.b) < 8;
            if (x < 140 && !grey) ++coloured;
            if (x >= 150 && !grey) ++brushWrong;
        }
    EXPECT_GT(coloured, 50) << "the microphone is drawn in its font's colours, not the white brush";
    EXPECT_EQ(brushWrong, 0);
}

TEST(PangoText, RunsCarryTheirOwnColour) {
    auto text = TextEngine::create();
    const std::string line = "RED BLUE";
    const auto layout = text->makeRunLayout(line, 40, {{0, 4, 40, 900, {1, 0, 0, 1}}, {4, 4, 40, 900, {0, 0, 1, 1}}});
    ASSERT_TRUE(layout);
    const CanvasPicture p = text->render(static_cast<int>(layout->width()) + 2, 60, [&](Canvas& c) {
        c.drawText(*layout, 0, 0, {1, 1, 1, 1});
    });
    int red = 0, blue = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const Bgra v = at(p, x, y);
            red += v.r > 200 && v.b < 50;
            blue += v.b > 200 && v.r < 50;
        }
    EXPECT_GT(red, 50);
    EXPECT_GT(blue, 50);
}

TEST(PangoText, PicturesArePremultipliedAndClamped) {
    auto text = TextEngine::create();
    const CanvasPicture p = text->render(4, 4, [](Canvas& c) { c.fillRect(0, 0, 2, 4, {1, 0, 0, 0.5f}); });
    const Bgra half = at(p, 0, 0);
    EXPECT_EQ(half.b, 0);
    EXPECT_NEAR(half.r, 128, 1);
    EXPECT_NEAR(half.a, 128, 1);
    EXPECT_EQ(at(p, 3, 3).a, 0) << "the rest stays transparent";

    bool called = false;
    EXPECT_EQ(text->render(0, 10, [&](Canvas&) { called = true; }).width, 0);
    EXPECT_FALSE(called);
    const CanvasPicture wide = text->render(20000, 2, [&](Canvas&) { called = true; });
    EXPECT_EQ(wide.width, 16384);
    EXPECT_EQ(wide.pixels.size(), 16384u * 2 * 4);
    EXPECT_TRUE(called);
}

}  // namespace
