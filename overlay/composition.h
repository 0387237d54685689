// The arithmetic of the audience display, kept apart from any drawing so that
// every rule is checked without a GPU: fades, the ticker bar and its scrolling,
// the logo box, the slide show's clock, the dance graphics' slots and
// animations, and the QR code's place.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "overlay/audience_document.h"

namespace qk::overlay {

struct Rect {
    float x = 0, y = 0, w = 0, h = 0;
};

// Moves an opacity toward its target by at most dt / 0.3 (a full fade takes 0.3
// seconds); with no time step (dt 0) it takes the target at once.
float fadeToward(float current, float target, double dt);

// The ticker bar: 5 % of the height, at least 40 pixels, along the top only
// for the edge "top" exactly.
Rect tickerBar(std::string_view edge, float outW, float outH);

// The ticker's scroll offset after dt seconds: left at max(speed, 40) * s pixels
// a second, wrapped so that it stays within one texture width of the left edge.
double advanceScroll(double scrollX, double s, double speed, double dt, std::int32_t textureWidth);

// Where the logo goes: `logoWidth` percent of the width, at most 85 % of the
// height tall, centred in the left third (at least 12 s from the edge).
Rect logoRect(float outW, float outH, std::int32_t logoWidth, std::int32_t imageW, std::int32_t imageH);

// The slide show's clock: each slide holds `hold` seconds and then crossfades
// into the next over 0.8 seconds; one slide never fades.
struct SlideClock {
    std::int32_t index = 0;
    double start = 0;  // 0 = not started

    void restart(double t) {
        index = 0;
        start = t;
    }
};
struct SlideStep {
    std::int32_t index = 0;
    std::int32_t next = 0;
    float fade = 0;  // how far `next` has come in, 0 to 1
};
SlideStep stepSlides(SlideClock& clock, std::int32_t count, double secs, double t);

// The dance graphic of the time slot that t falls in.
struct DanceSlot {
    std::int32_t slot = 0;
    float phase = 0;  // 0 to 1 within the slot
    std::uint32_t image = 0;
    std::string animation;
    float place = 0;  // 0 to 0.999, the random position number
};
DanceSlot danceSlot(double t, double secs, std::size_t imageCount, const std::vector<std::string>& anims);

// Fades in over the first 12 % of a slot and out over the last 12 %.
float danceFade(float phase);

// Where the animation puts a graphic of aspect `aspect` (width / height) and
// base height `base` at phase p: its box and its opacity factor.
struct DancePlacement {
    Rect box;
    float opacity = 1;
};
DancePlacement placeDance(std::string_view animation, float p, float place, float base, float aspect, float outW,
                          float outH);

// The QR code's white box: side, quiet zone and top left corner. `captionH` is
// the room kept under the box for the caption (0 without one).
struct QrBox {
    float x = 0, y = 0;
    float side = 0, quiet = 0, box = 0;
};
float qrSide(std::int32_t size, float outH);
QrBox placeQr(const QrSettings& qr, float outW, float outH, float captionH);
// The caption's left edge: centred under the box, pulled left so it ends 8 s
// before the right edge, and never left of 8 s.
float qrCaptionX(const QrBox& box, float captionW, float outW, float outH);

}  // namespace qk::overlay
