// The idle screen between songs: title, subtitle, message, the performer list,
// the first-song note, the dance or now-playing block in the lower left and the
// QR code, drawn once per change into one transparent picture of the output's
// size. The dance call to action goes into a banner picture of its own, which
// the frame draws pulsing.
#pragma once

#include <cstdint>
#include <string>

#include "overlay/audience_document.h"
#include "platform/text_canvas.h"

namespace qk::overlay {

// What drawing the idle layer decided besides its pixels.
struct IdleLayout {
    float slidesBottom = 0;  // the slide box's lower limit
    // The dance banner to make: its text (empty for none), place and size.
    std::string bannerText;
    float bannerX = 0, bannerY = 0, bannerPad = 0;
    std::int32_t bannerW = 0, bannerH = 0;
    bool qrTooLong = false;  // the url does not fit the largest QR symbol
};

// Draws the idle layer of doc on an outW x outH output into canvas.
void drawIdleLayer(platform::Canvas& canvas, platform::TextEngine& text, const AudienceDocument& doc, float outW,
                   float outH, IdleLayout& out);

// Draws the banner that drawIdleLayer asked for into a canvas of its size.
void drawDanceBanner(platform::Canvas& canvas, platform::TextEngine& text, const AudienceDocument& doc, float outH,
                     const IdleLayout& layout);

// "a" to "z" become capitals; every other byte stays, so accented letters too.
std::string upperAscii(std::string text);

}  // namespace qk::overlay
