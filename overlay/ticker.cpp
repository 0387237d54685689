#include "overlay/ticker.h"

#include <algorithm>
#include <cmath>

namespace qk::overlay {

std::vector<TickerSegment> tickerSegments(const AudienceDocument& doc, float s) {
    const Appearance& look = doc.appearance;
    const float big = 34 * s, small = 28 * s;
    std::vector<TickerSegment> line;
    auto add = [&line](std::string text, float size, int weight, Color color) {
        if (!text.empty()) line.push_back({std::move(text), size, weight, color});
    };
    auto separator = [&] { add("   \u2605   ", big, 700, look.accent); };
    auto firstMark = [&](bool isNew) {
        if (!doc.firstEmoji.empty() && isNew) add(doc.firstEmoji + " ", big, 700, look.text);
    };

    if (look.showMessage && !doc.message.empty()) {
        add(doc.message, big, 900, doc.messageColor);
        separator();
    }
    if (doc.current && !doc.current->singer.empty()) {
        add("\U0001F3A4 NOW: ", big, 900, look.accent);
        firstMark(doc.current->isNew);
        add(doc.current->singer, big, 700, look.text);
        if (!doc.current->title.empty()) add(" \u2014 " + doc.current->title, small, 600, look.dim);
        separator();
    }
    if (doc.next) {
        for (std::size_t i = 0; i < doc.next->size(); ++i) {
            const SingerEntry& e = (*doc.next)[i];
            if (e.singer.empty()) continue;
            if (i == 0) add("UP NEXT: ", big, 900, look.accent);
            firstMark(e.isNew);
            add(e.singer, big, 700, look.text);
            if (e.needsSong)
                add(" \u2014 Song Selection Needed", small, 600, look.accent);
            else if (!e.wait.empty())
                add(" " + e.wait, small, 600, look.dim);
            separator();
        }
    }
    if (look.tickVenue && !doc.venue.empty()) {
        add(doc.venue, small, 600, look.dim);
        separator();
    }
    if (look.tickFirstNote && !doc.firstEmoji.empty()) {
        add(doc.firstEmoji + " = first song of the night", small, 600, look.dim);
        separator();
    }
    if (line.empty()) {
        add("\U0001F3A4 KARAOKE", big, 900, look.accent);
        separator();
    }
    return line;
}

platform::CanvasPicture renderTicker(platform::TextEngine& text, const std::vector<TickerSegment>& segments, float s,
                                     std::int32_t* measuredW, std::int32_t* measuredH) {
    std::string joined;
    std::vector<platform::TextRun> runs;
    for (const TickerSegment& seg : segments) {
        runs.push_back({joined.size(), seg.text.size(), seg.size, seg.weight, seg.color});
        joined += seg.text;
    }
    *measuredW = *measuredH = 0;
    const auto layout = text.makeRunLayout(joined, 34 * s, runs);
    if (!layout) return {};
    *measuredW = std::max(8, static_cast<std::int32_t>(std::ceil(layout->width())));
    *measuredH = std::max(8, static_cast<std::int32_t>(std::ceil(layout->height())) + static_cast<std::int32_t>(6 * s));
    return text.render(*measuredW, *measuredH,
                       [&](platform::Canvas& canvas) { canvas.drawText(*layout, 0, 3 * s, kWhite); });
}

}  // namespace qk::overlay
