// What every text and canvas backend must show, whatever draws it: pixel
// access to its pictures and the measurements of its layouts.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/text_canvas.h"

namespace qktest {

struct Bgra {
    int b, g, r, a;
};
inline Bgra at(const qk::platform::CanvasPicture& p, int x, int y) {
    const std::uint8_t* px = p.pixels.data() + (static_cast<std::size_t>(y) * p.width + x) * 4;
    return {px[0], px[1], px[2], px[3]};
}

// Sizes, weights, the ellipsis cut to one line, letter spacing and trailing blanks.
inline void expectLayoutsMeasureAndCut(qk::platform::TextEngine& text) {
    using qk::platform::TextStyle;
    const std::string longText = "A rather long singer name that will never fit in two hundred pixels";
    const auto full = text.makeLayout(longText, TextStyle{32, 700});
    ASSERT_TRUE(full);
    EXPECT_GT(full->width(), 400);
    EXPECT_GT(full->height(), 32);
    const auto cut = text.makeLayout(longText, TextStyle{32, 700, 0, 200, true});
    ASSERT_TRUE(cut);
    EXPECT_LE(cut->width(), 200);
    EXPECT_GT(cut->width(), 100);
    EXPECT_NEAR(cut->height(), full->height(), 1) << "still one line";
    const auto spaced = text.makeLayout("SPACED", TextStyle{20, 900, 5});
    const auto tight = text.makeLayout("SPACED", TextStyle{20, 900});
    EXPECT_NEAR(spaced->width() - tight->width(), 6 * 5, 6) << "five pixels after each letter";
    const auto trailing = text.makeLayout("ab   ", TextStyle{20, 400});
    EXPECT_GT(trailing->width(), text.makeLayout("ab", TextStyle{20, 400})->width() + 8) << "trailing blanks count";
    EXPECT_GT(text.makeLayout("HH", TextStyle{40, 900})->width(), text.makeLayout("HH", TextStyle{20, 900})->width())
        << "the size is applied";
}

}  // namespace qktest
