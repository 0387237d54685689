#include "overlay/idle_screen.h"

#include <algorithm>
#include <cmath>
#include <qrcodegen/qrcodegen.hpp>
#include <stdexcept>

#include "overlay/composition.h"

namespace qk::overlay {
namespace {

using platform::Canvas;
using platform::TextLayout;
using platform::TextStyle;

Color withAlpha(Color c, float a) {
    return {c.r, c.g, c.b, a};
}

// One idle picture being drawn: the geometry, the colours and the column's
// running top.
class IdleDrawer {
public:
    IdleDrawer(Canvas& canvas, platform::TextEngine& text, const AudienceDocument& doc, float W, float H)
        : canvas_(canvas),
          text_(text),
          doc_(doc),
          look_(doc.appearance),
          W_(W),
          H_(H),
          s_(H / 1080),
          colX_(0.333f * W + 56 * s_),
          colW_(0.667f * W - 112 * s_),
          y_(42 * s_) {}

    void draw(IdleLayout& out) {
        out.slidesBottom = H_ - 16 * s_;
        title();
        subtitleAndMessage();
        if (look_.showList) performerList();
        firstNote();
        lowerLeft(out);
        qr(out);
    }

private:
    std::unique_ptr<TextLayout> layout(const std::string& text, float size, int weight, float spacing = 0,
                                       float maxWidth = 0) {
        TextStyle style{size, weight, spacing, maxWidth, maxWidth > 0};
        return text_.makeLayout(text, style);
    }

    void withShadow(const TextLayout& l, float x, float y, Color c) {
        if (look_.shadowOn) canvas_.drawText(l, x + 1.5f * s_, y + 1.5f * s_, withAlpha(look_.shadow, 0.7f));
        canvas_.drawText(l, x, y, c);
    }

    void centredLine(const std::string& text, float size, int weight, float spacing, Color c) {
        const auto l = layout(text, size, weight, spacing);
        if (!l) return;
        withShadow(*l, colX_ + (colW_ - l->width()) / 2, y_, c);
        y_ += l->height();
    }

    void title() {
        if (!look_.showTitle) return;
        std::string t = doc_.title;
        if (t.empty()) t = doc_.venue.empty() ? "KARAOKE TONIGHT" : "KARAOKE @ " + doc_.venue;
        centredLine(upperAscii(t), 46 * s_, 900, s_, look_.accent);
        y_ += 4 * s_;
    }

    void subtitleAndMessage() {
        if (look_.showSubtitle && !doc_.subtitle.empty()) {
            centredLine(doc_.subtitle, 30 * s_, 700, 0, look_.text);
            y_ += 8 * s_;
        }
        if (look_.showMessage && !doc_.message.empty()) {
            centredLine(doc_.message, 27 * s_, 700, 0, doc_.messageColor);
            y_ += 16 * s_;
        }
    }

    bool firstNoteShown() const { return look_.idleFirstNote && !doc_.firstEmoji.empty(); }

    void performerList() {
        y_ += 6 * s_;
        const auto heading = layout(upperAscii(doc_.listLabel), 34 * s_, 900, 2 * s_);
        if (heading) withShadow(*heading, colX_, y_, look_.text);
        y_ += 8 * s_ + (heading ? heading->height() : 34 * s_);
        canvas_.fillRect(colX_, y_, colW_, 3 * s_, withAlpha(look_.accent, 0.85f));
        y_ += 10 * s_;

        const float rowH = 50 * s_;
        const float listBottom = H_ - (firstNoteShown() ? 74 : 40) * s_;
        const Color dimSoft = withAlpha(look_.dim, 0.8f);
        int drawn = 0;
        if (doc_.rotation) {
            for (std::size_t i = 0; i < doc_.rotation->size(); ++i) {
                if (i >= static_cast<std::size_t>(doc_.idleCount) || y_ + rowH > listBottom) break;
                const SingerEntry& e = (*doc_.rotation)[i];
                const bool first = i == 0;
                const Color numberColor = first ? doc_.firstColor : look_.accent;
                if (const auto n = layout(std::to_string(i + 1) + (first ? " \u25B6" : ""), 30 * s_, 900))
                    withShadow(*n, colX_ + 84 * s_ - n->width(), y_ + 4 * s_, numberColor);
                std::string name = e.rowName();
                if (!doc_.firstEmoji.empty() && e.isNew) name = doc_.firstEmoji + " " + name;
                if (const auto l = layout(name, 32 * s_, 700, 0, colW_ - 102 * s_))
                    withShadow(*l, colX_ + 102 * s_, y_ + 2 * s_, first ? doc_.firstColor : look_.text);
                const std::string status = first ? "up next" : e.wait;
                if (!status.empty())
                    if (const auto l = layout(status, 20 * s_, 400))
                        withShadow(*l, colX_ + colW_ - l->width(), y_ + 12 * s_, dimSoft);
                std::string song;
                int songWeight = 400;
                if (e.needsSong) {
                    song = "\U0001F3B5 Song selection needed";
                    songWeight = 700;
                } else if (look_.showListSongs) {
                    song = e.title;
                }
                if (!song.empty())
                    if (const auto l = layout(song, 22 * s_, songWeight, 0, 0.38f * colW_))
                        withShadow(*l, colX_ + colW_ - 110 * s_ - l->width(), y_ + 10 * s_,
                                   e.needsSong ? look_.accent : look_.dim);
                canvas_.fillRect(colX_, y_ + rowH - 1, colW_, 1, withAlpha(look_.text, 0.08f));
                y_ += rowH;
                ++drawn;
            }
        }
        if (drawn == 0)
            if (const auto l = layout("Come sing! Ask the KJ to get on the list \U0001F3A4", 32 * s_, 700))
                withShadow(*l, colX_, y_ + 8 * s_, look_.text);
    }

    void firstNote() {
        if (!firstNoteShown()) return;
        if (const auto l = layout(doc_.firstEmoji + " = first song of the night", 20 * s_, 600))
            withShadow(*l, W_ - 30 * s_ - l->width(), H_ - 22 * s_ - l->height(), look_.dim);
    }

    void lowerLeft(IdleLayout& out) {
        const float X = 36 * s_;
        if (doc_.dance) {
            const DanceSettings& d = *doc_.dance;
            const std::string songLine = d.artist.empty() ? d.title : d.title + " \u2014 " + d.artist;
            const auto label = layout("\U0001F57A DANCE TIME", 20 * s_, 900, 2.5f * s_);
            const auto cta = d.cta.empty() ? nullptr : layout(d.cta, 38 * s_, 900, 0, 0.55f * W_);
            const auto song = songLine.empty() ? nullptr : layout(songLine, 22 * s_, 600, 0, 0.55f * W_);
            const float hL = label ? label->height() : 0, hC = cta ? cta->height() : 0;
            const float hS = song ? song->height() : 0;
            const bool hasCta = !d.cta.empty(), hasSong = !songLine.empty();
            float Y = H_ - 40 * s_ - (hL + (hasCta ? hC + 10 * s_ : 0) + (hasSong ? hS + 8 * s_ : 0));
            out.slidesBottom = Y;
            if (label) {
                withShadow(*label, X, Y, look_.accent);
                Y += hL + (hasCta ? 10 * s_ : 0);
            }
            if (hasCta) {
                const float pad = 14 * s_;
                if (cta) {
                    out.bannerText = d.cta;
                    out.bannerPad = pad;
                    out.bannerW = static_cast<std::int32_t>(std::ceil(cta->width() + 2 * pad));
                    out.bannerH = static_cast<std::int32_t>(std::ceil(hC + 2 * pad));
                    out.bannerX = X - pad;
                    out.bannerY = Y - pad;
                }
                Y += hC + (hasSong ? 8 * s_ : 0);
            }
            if (song) withShadow(*song, X, Y, look_.dim);
            return;
        }
        if (!doc_.bgNow || !look_.showNowPlaying || doc_.bgNow->title.empty()) return;
        const auto label = layout("\u266A CURRENTLY PLAYING", 17 * s_, 900, 2 * s_);
        const auto title = layout(doc_.bgNow->title, 24 * s_, 700, 0, 0.42f * W_);
        const bool hasArtist = !doc_.bgNow->artist.empty();
        const auto artist = hasArtist ? layout(doc_.bgNow->artist, 19 * s_, 400, 0, 0.42f * W_) : nullptr;
        const float hL = label ? label->height() : 0, hT = title ? title->height() : 0;
        const float hA = artist ? artist->height() : 0;
        float Y = H_ - 40 * s_ - (10 * s_ + hL + hT + (hasArtist ? 6 * s_ + hA : 0));
        out.slidesBottom = Y;
        if (label) {
            withShadow(*label, X, Y, look_.accent);
            Y += 10 * s_ + hL;
        }
        if (title) {
            withShadow(*title, X, Y, look_.text);
            Y += 6 * s_ + hT;
        }
        if (artist) withShadow(*artist, X, Y, look_.dim);
    }

    void qr(IdleLayout& out) {
        if (!doc_.qr || doc_.qr->url.empty()) return;
        const QrSettings& q = *doc_.qr;
        std::optional<qrcodegen::QrCode> code;
        try {
            code.emplace(qrcodegen::QrCode::encodeText(q.url.c_str(), qrcodegen::QrCode::Ecc::MEDIUM));
        } catch (const qrcodegen::data_too_long&) {
            out.qrTooLong = true;
            return;
        }
        const int n = code->getSize();
        if (n <= 0) return;
        const float side = qrSide(q.size, H_);
        const auto caption = q.label.empty() ? nullptr : layout(q.label, std::max(0.13f * side, 14 * s_), 700);
        const float lab = caption ? 8 * s_ + caption->height() : 0;
        const QrBox b = placeQr(q, W_, H_, lab);
        canvas_.fillRoundedRect(b.x, b.y, b.box, b.box, 10 * s_, kWhite);
        const float md = b.side / float(n);
        const float ox = b.x + b.quiet, oy = b.y + b.quiet;
        for (int v = 0; v < n; ++v)
            for (int u = 0; u < n; ++u)
                if (code->getModule(u, v)) {
                    const float x0 = std::floor(u * md), y0 = std::floor(v * md);
                    canvas_.fillRect(x0 + ox, y0 + oy, std::ceil((u + 1) * md) - x0, std::ceil((v + 1) * md) - y0,
                                     kBlack);
                }
        if (caption) withShadow(*caption, qrCaptionX(b, caption->width(), W_, H_), b.y + b.box + 8 * s_, look_.text);
    }

    Canvas& canvas_;
    platform::TextEngine& text_;
    const AudienceDocument& doc_;
    const Appearance& look_;
    const float W_, H_, s_, colX_, colW_;
    float y_;
};

}  // namespace

std::string upperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

void drawIdleLayer(Canvas& canvas, platform::TextEngine& text, const AudienceDocument& doc, float outW, float outH,
                   IdleLayout& out) {
    out = {};
    IdleDrawer(canvas, text, doc, outW, outH).draw(out);
}

void drawDanceBanner(Canvas& canvas, platform::TextEngine& text, const AudienceDocument& doc, float outH,
                     const IdleLayout& layout) {
    const float s = outH / 1080;
    const Appearance& look = doc.appearance;
    const auto l = text.makeLayout(layout.bannerText, TextStyle{38 * s, 900});
    if (!l) return;
    const float pad = layout.bannerPad;
    if (look.shadowOn) canvas.drawText(*l, pad + 1.5f * s, pad + 1.5f * s, withAlpha(look.shadow, 0.7f));
    canvas.drawText(*l, pad, pad, look.text);
}

}  // namespace qk::overlay
