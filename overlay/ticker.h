// The ticker's line: the segments that tell who sings now and next, joined into
// one layout with per-segment size, weight and colour, drawn once into a
// picture that the frame scrolls.
#pragma once

#include <string>
#include <vector>

#include "overlay/audience_document.h"
#include "platform/text_canvas.h"

namespace qk::overlay {

struct TickerSegment {
    std::string text;  // UTF-8, never empty
    float size = 0;
    int weight = 400;
    Color color;
    bool operator==(const TickerSegment&) const = default;
};

// The segments in order; the line always ends with a separator, so that copies
// laid end to end read as one endless line. s is the output height / 1080.
std::vector<TickerSegment> tickerSegments(const AudienceDocument& doc, float s);

// The whole line drawn into a picture: empty when the layout cannot be made.
// *measuredW and *measuredH receive the size asked for (also on failure).
platform::CanvasPicture renderTicker(platform::TextEngine& text, const std::vector<TickerSegment>& segments, float s,
                                     std::int32_t* measuredW, std::int32_t* measuredH);

}  // namespace qk::overlay
