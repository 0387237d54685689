// The four files the page writes for the overlay, read once into typed values:
// every key with its type, default and limits, so that the code that draws reads
// `doc.appearance.logoWidth` and never repeats a reading rule. A key that is
// missing or holds another JSON type takes its default.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kit/json_access.h"
#include "overlay/hex_color.h"

namespace qk::overlay {

// A JSON number as a 32-bit integer: truncated toward zero; a value outside the
// 32-bit range (or not a number at all) becomes INT32_MIN.
std::int32_t truncateToInt32(double value);

// An element of `rotation` or `next`, or `current`. Elements that are not
// objects read as an entry with every key at its default.
struct SingerEntry {
    std::string singer;
    std::string title;
    std::string wait;
    bool isNew = false;
    bool needsSong = false;

    // The performer-list row's name: "Open Slot" for an entry without one.
    std::string rowName() const { return singer.empty() ? "Open Slot" : singer; }
};

struct NowPlaying {
    std::string title;
    std::string artist;
};

struct DanceSettings {
    std::int32_t gfxVer = -1;
    // Animation names; an element that is not a text reads as "pulse".
    std::vector<std::string> anims;
    double gfxSecs = 6;  // 3 to 20, else 6
    bool gfxOff = false;
    double gfxSize = 26;  // 10 to 60 percent of the output height, else 26
    std::string cta;
    std::string title;
    std::string artist;
};

struct QrSettings {
    std::string url;
    std::int32_t size = 14;     // percent of the output height, 8 to 30
    std::string corner = "br";  // an empty text reads as "br"
    std::string label;
};

struct SlideShow {
    std::int32_t ver = -1;
    bool enabled = false;
    double secs = 8;  // at least 2
};

struct Appearance {
    std::int32_t assetsVer = -1;
    std::optional<SlideShow> slides;
    bool enabled = false;
    Color color = kBlack;
    bool logoShow = true;
    std::int32_t logoWidth = 20;  // percent of the output width, 5 to 45
    Color bar{0.043f, 0.043f, 0.055f, 1};
    Color accent{1.0f, 122 / 255.0f, 26 / 255.0f, 1};  // "#ff7a1a"
    Color barLine{1.0f, 0.478f, 0.102f, 1};            // `accent`, with its own default for the bar's edges
    Color text = kWhite;
    Color dim{184 / 255.0f, 191 / 255.0f, 204 / 255.0f, 1};  // "#b8bfcc"
    bool shadowOn = true;
    Color shadow = kBlack;
    bool showTitle = true;
    bool showSubtitle = true;
    bool showMessage = true;
    bool showList = true;
    bool showListSongs = true;
    bool idleFirstNote = true;
    bool showNowPlaying = true;
    bool tickVenue = true;
    bool tickFirstNote = true;
};

// audience.json.
struct AudienceDocument {
    std::string renderer;
    bool visible = false;
    bool isPlaying = false;
    std::string edge;
    double speed = 110;  // at least 40
    std::string title;
    std::string venue;
    std::string subtitle;
    std::string message;
    Color messageColor = Appearance{}.accent;       // defaults to the accent colour
    std::string listLabel = "Upcoming Performers";  // an empty text reads as the default
    std::optional<std::vector<SingerEntry>> rotation;
    std::int32_t idleCount = 10;                                   // below 1 reads as 10
    Color firstColor{93 / 255.0f, 211 / 255.0f, 158 / 255.0f, 1};  // "#5dd39e"
    std::string firstEmoji;
    std::optional<SingerEntry> current;
    std::optional<std::vector<SingerEntry>> next;
    std::optional<NowPlaying> bgNow;
    std::optional<DanceSettings> dance;
    std::optional<QrSettings> qr;
    Appearance appearance;

    // Reads a parsed audience.json; anything but an object reads as all defaults.
    static AudienceDocument read(const Json& document);

    // The picture versions the poller acts on; -1 without the enclosing object.
    std::int32_t assetsVersion() const { return appearance.assetsVer; }
    std::int32_t slidesVersion() const { return appearance.slides ? appearance.slides->ver : -1; }
    // Nothing without a `dance` object.
    std::optional<std::int32_t> danceVersion() const {
        return dance ? std::optional<std::int32_t>(dance->gfxVer) : std::nullopt;
    }
};

// audience-assets.json: the background's and the logo's data texts.
struct AssetTexts {
    std::string bg;
    std::string logo;
};
AssetTexts readAssetTexts(const Json& document);

// audience-slides.json: the data texts in show order. A bare string is a slide;
// an object is one unless `hidden`; anything else is left out.
std::vector<std::string> readSlideTexts(const Json& document);

// dance-graphics.json: the non-empty data texts of objects that are not
// `hidden`, in order; bare strings are not graphics here.
std::vector<std::string> readDanceTexts(const Json& document);

}  // namespace qk::overlay
