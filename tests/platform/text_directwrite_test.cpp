// The text and canvas backend on the real DirectWrite and Direct2D (under Wine:
// Direct3D 11 on Mesa behind Xvfb): measurements, ellipsis, ink of the right
// colour in the right place, runs, premultiplied fills, the size clamp, and the
// stand-in family when the display's family is not installed.
#include <dwrite.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/text_canvas.h"
#include "tests/platform/text_engine_checks.h"

namespace {

using qk::platform::Canvas;
using qk::platform::CanvasPicture;
using qk::platform::Rgba;
using qk::platform::TextEngine;
using qk::platform::TextLayout;
using qk::platform::TextStyle;

using qktest::at;
using qktest::Bgra;

// Where a picture has ink (alpha above a threshold): its bounds and count.
struct Ink {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, count = 0;
};
Ink inkOf(const CanvasPicture& p, int threshold = 128) {
    Ink ink;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (at(p, x, y).a > threshold) {
                ink.left = std::min(ink.left, x);
                ink.top = std::min(ink.top, y);
                ink.right = std::max(ink.right, x);
                ink.bottom = std::max(ink.bottom, y);
                ++ink.count;
            }
    return ink;
}

class DirectWriteText : public ::testing::Test {
protected:
    void SetUp() override {
        text_ = TextEngine::create();
        ASSERT_TRUE(text_);
        text_->setNoticeSink([this](std::string_view line) { notices_.emplace_back(line); });
    }
    std::unique_ptr<TextEngine> text_;
    std::vector<std::string> notices_;
};

TEST_F(DirectWriteText, LayoutsMeasureAndCutWithAnEllipsis) { qktest::expectLayoutsMeasureAndCut(*text_); }

// Text is drawn in the brush's colour, premultiplied, inside the box its layout
// measures at the place it is drawn; the cut line's ink ends within its width.
TEST_F(DirectWriteText, TextDrawsItsColourInsideItsBox) {
    struct Case {
        const char* name;
        std::string text;
        TextStyle style;
        Rgba color;
    };
    const Case cases[] = {
        {"bold red", "HH", TextStyle{40, 900}, {1, 0, 0, 1}},
        {"regular blue", "Next up", TextStyle{28, 400}, {0, 0, 1, 1}},
        {"cut with an ellipsis", "A singer name far too long for its place", TextStyle{28, 600, 0, 150, true},
         {0, 1, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto layout = text_->makeLayout(c.text, c.style);
        ASSERT_TRUE(layout);
        const CanvasPicture p = text_->render(400, 100, [&](Canvas& canvas) { canvas.drawText(*layout, 20, 10, c.color); });
        ASSERT_EQ(p.width, 400);
        ASSERT_EQ(p.height, 100);
        const Ink ink = inkOf(p);
        ASSERT_GT(ink.count, 40) << "the text draws";
        EXPECT_GE(ink.left, 20);
        EXPECT_GE(ink.top, 10);
        EXPECT_LE(ink.right, 20 + layout->width() + 1);
        EXPECT_LE(ink.bottom, 10 + layout->height() + 1);
        if (c.style.ellipsis) {
            EXPECT_LE(ink.right, 20 + c.style.maxWidth);
        }
        // Every pixel, edges included, is the colour times its coverage.
        int wrong = 0;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const Bgra v = at(p, x, y);
                const auto expect = [&](float channel) { return static_cast<int>(channel * v.a + 0.5f); };
                wrong += std::abs(v.r - expect(c.color.r)) > 2 || std::abs(v.g - expect(c.color.g)) > 2 ||
                         std::abs(v.b - expect(c.color.b)) > 2;
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(DirectWriteText, RunsCarryTheirOwnColourAndSize) {
    const std::string line = "RED blue";
    const auto layout =
        text_->makeRunLayout(line, 20, {{0, 4, 40, 900, {1, 0, 0, 1}}, {4, 4, 20, 400, {0, 0, 1, 1}}});
    ASSERT_TRUE(layout);
    EXPECT_GT(layout->height(), 40) << "the large run sets the line's height";
    const CanvasPicture p = text_->render(static_cast<int>(layout->width()) + 2, 70, [&](Canvas& c) {
        c.drawText(*layout, 0, 0, {1, 1, 1, 1});
    });
    int red = 0, blue = 0, white = 0, redRight = 0, blueLeft = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const Bgra v = at(p, x, y);
            const bool isRed = v.r > 200 && v.b < 50, isBlue = v.b > 200 && v.r < 50;
            red += isRed;
            blue += isBlue;
            white += v.r > 200 && v.g > 200 && v.b > 200;
            redRight = std::max(redRight, isRed ? x : 0);
            blueLeft = isBlue && (blueLeft == 0 || x < blueLeft) ? x : blueLeft;
        }
    EXPECT_GT(red, 50);
    EXPECT_GT(blue, 20);
    EXPECT_EQ(white, 0) << "no run falls back to the brush";
    EXPECT_LT(redRight, blueLeft) << "the runs keep their order";
}

TEST_F(DirectWriteText, FillsArePremultipliedRoundedAndClamped) {
    const CanvasPicture p = text_->render(40, 20, [](Canvas& c) {
        c.fillRect(0, 0, 2, 4, {1, 0, 0, 0.5f});
        c.fillRoundedRect(10, 0, 30, 20, 8, {0, 1, 0, 1});
    });
    ASSERT_EQ(p.width, 40);
    const Bgra half = at(p, 0, 0);
    EXPECT_EQ(half.b, 0);
    EXPECT_NEAR(half.r, 128, 1);
    EXPECT_NEAR(half.a, 128, 1);
    EXPECT_EQ(at(p, 5, 10).a, 0) << "the rest stays transparent";
    EXPECT_EQ(at(p, 25, 10).g, 255) << "the rounded rectangle's middle";
    EXPECT_EQ(at(p, 25, 10).a, 255);
    EXPECT_EQ(at(p, 10, 0).a, 0) << "its corner is cut off";
    EXPECT_EQ(at(p, 39, 19).a, 0);

    bool called = false;
    EXPECT_EQ(text_->render(0, 10, [&](Canvas&) { called = true; }).width, 0);
    EXPECT_EQ(text_->render(10, -1, [&](Canvas&) { called = true; }).width, 0);
    EXPECT_FALSE(called);
    const CanvasPicture wide = text_->render(20000, 2, [&](Canvas&) { called = true; });
    EXPECT_EQ(wide.width, 16384);
    EXPECT_EQ(wide.pixels.size(), 16384u * 2 * 4);
    EXPECT_TRUE(called);
}

bool systemHas(const wchar_t* family) {
    Microsoft::WRL::ComPtr<IDWriteFactory> factory;
    Microsoft::WRL::ComPtr<IDWriteFontCollection> fonts;
    UINT32 index = 0;
    BOOL exists = FALSE;
    return SUCCEEDED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                         reinterpret_cast<IUnknown**>(factory.GetAddressOf()))) &&
           SUCCEEDED(factory->GetSystemFontCollection(fonts.GetAddressOf(), FALSE)) &&
           SUCCEEDED(fonts->FindFamilyName(family, &index, &exists)) && exists;
}

// Where the display's family is missing (Wine with fontconfig's fonts only), an
// installed sans family draws instead, and the log hears of it once.
TEST_F(DirectWriteText, AMissingFamilyFallsBackAndIsLoggedOnce) {
    std::unique_ptr<TextLayout> last;
    for (int i = 0; i < 3; ++i) last = text_->makeLayout("Karaoke night", TextStyle{30, 400 + 200 * i});
    ASSERT_TRUE(last);
    const CanvasPicture p = text_->render(300, 60, [&](Canvas& c) { c.drawText(*last, 0, 0, {1, 1, 1, 1}); });
    EXPECT_GT(inkOf(p).count, 100) << "the text draws in whatever family stands in";
    if (systemHas(L"Segoe UI")) {
        EXPECT_TRUE(notices_.empty());
        return;
    }
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_NE(notices_[0].find("\"Segoe UI\" is not installed, drawing with \""), std::string::npos) << notices_[0];
}

}  // namespace
