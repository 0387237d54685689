#include "overlay/audience_document.h"

#include <algorithm>
#include <limits>

namespace qk::overlay {
namespace {

const Json* getArray(const Json& value, std::string_view key) {
    if (!value.is_object()) return nullptr;
    const auto it = value.find(key);
    return (it != value.end() && it->is_array()) ? &*it : nullptr;
}

Color getColor(const Json& value, std::string_view key, Color fallback) {
    return parseHexColor(getString(value, key), fallback);
}

SingerEntry readSinger(const Json& entry) {
    SingerEntry s;
    s.singer = getString(entry, "singer");
    s.title = getString(entry, "title");
    s.wait = getString(entry, "wait");
    s.isNew = getBool(entry, "isNew", false);
    s.needsSong = getBool(entry, "needsSong", false);
    return s;
}

// Every element takes a place, so that positions stay those of the page's list.
std::optional<std::vector<SingerEntry>> readSingers(const Json& document, std::string_view key) {
    const Json* list = getArray(document, key);
    if (list == nullptr) return std::nullopt;
    std::vector<SingerEntry> entries;
    entries.reserve(list->size());
    for (const Json& element : *list) entries.push_back(readSinger(element));
    return entries;
}

DanceSettings readDance(const Json& dance) {
    DanceSettings d;
    d.gfxVer = truncateToInt32(getNumber(dance, "gfxVer", -1));
    if (const Json* anims = getArray(dance, "anims"))
        for (const Json& name : *anims) d.anims.push_back(name.is_string() ? name.get<std::string>() : "pulse");
    d.gfxSecs = getNumber(dance, "gfxSecs", 6);
    if (d.gfxSecs < 3 || d.gfxSecs > 20) d.gfxSecs = 6;
    d.gfxOff = getBool(dance, "gfxOff", false);
    d.gfxSize = getNumber(dance, "gfxSize", 26);
    if (d.gfxSize < 10 || d.gfxSize > 60) d.gfxSize = 26;
    d.cta = getString(dance, "cta");
    d.title = getString(dance, "title");
    d.artist = getString(dance, "artist");
    return d;
}

QrSettings readQr(const Json& qr) {
    QrSettings q;
    q.url = getString(qr, "url");
    q.size = truncateToInt32(getNumber(qr, "size", 14));
    if (q.size < 1) q.size = 14;
    q.size = std::clamp(q.size, 8, 30);
    q.corner = getString(qr, "corner");
    if (q.corner.empty()) q.corner = "br";
    q.label = getString(qr, "label");
    return q;
}

Appearance readAppearance(const Json& a) {
    Appearance p;
    p.assetsVer = truncateToInt32(getNumber(a, "assetsVer", -1));
    if (const Json* slides = getObject(a, "slides")) {
        SlideShow s;
        s.ver = truncateToInt32(getNumber(*slides, "ver", -1));
        s.enabled = getBool(*slides, "enabled", false);
        s.secs = std::max(getNumber(*slides, "secs", 8), 2.0);
        p.slides = s;
    }
    p.enabled = getBool(a, "enabled", false);
    p.color = getColor(a, "color", p.color);
    p.logoShow = getBool(a, "logoShow", true);
    p.logoWidth = truncateToInt32(getNumber(a, "logoWidth", 20));
    if (p.logoWidth <= 0) p.logoWidth = 20;
    p.logoWidth = std::clamp(p.logoWidth, 5, 45);
    p.bar = getColor(a, "bar", p.bar);
    p.accent = getColor(a, "accent", p.accent);
    p.barLine = getColor(a, "accent", p.barLine);
    p.text = getColor(a, "text", p.text);
    p.dim = getColor(a, "dim", p.dim);
    p.shadowOn = getBool(a, "shadowOn", true);
    p.shadow = getColor(a, "shadow", p.shadow);
    p.showTitle = getBool(a, "showTitle", true);
    p.showSubtitle = getBool(a, "showSubtitle", true);
    p.showMessage = getBool(a, "showMessage", true);
    p.showList = getBool(a, "showList", true);
    p.showListSongs = getBool(a, "showListSongs", true);
    p.idleFirstNote = getBool(a, "idleFirstNote", true);
    p.showNowPlaying = getBool(a, "showNowPlaying", true);
    p.tickVenue = getBool(a, "tickVenue", true);
    p.tickFirstNote = getBool(a, "tickFirstNote", true);
    return p;
}

}  // namespace

std::int32_t truncateToInt32(double value) {
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    // Written so that NaN fails the range test too.
    if (!(value > -2147483649.0 && value < 2147483648.0)) return kMin;
    return static_cast<std::int32_t>(value);
}

AudienceDocument AudienceDocument::read(const Json& d) {
    AudienceDocument doc;
    if (!d.is_object()) return doc;
    if (const Json* a = getObject(d, "appearance")) doc.appearance = readAppearance(*a);
    doc.renderer = getString(d, "renderer");
    doc.visible = getBool(d, "visible", false);
    doc.isPlaying = getBool(d, "isPlaying", false);
    doc.edge = getString(d, "edge");
    doc.speed = std::max(getNumber(d, "speed", 110), 40.0);
    doc.title = getString(d, "title");
    doc.venue = getString(d, "venue");
    doc.subtitle = getString(d, "subtitle");
    doc.message = getString(d, "message");
    doc.messageColor = getColor(d, "messageColor", doc.appearance.accent);
    doc.listLabel = getString(d, "listLabel");
    if (doc.listLabel.empty()) doc.listLabel = "Upcoming Performers";
    doc.rotation = readSingers(d, "rotation");
    doc.idleCount = truncateToInt32(getNumber(d, "idleCount", 10));
    if (doc.idleCount < 1) doc.idleCount = 10;
    doc.firstColor = getColor(d, "firstColor", doc.firstColor);
    doc.firstEmoji = getString(d, "firstEmoji");
    if (const Json* current = getObject(d, "current")) doc.current = readSinger(*current);
    doc.next = readSingers(d, "next");
    if (const Json* bgNow = getObject(d, "bgNow"))
        doc.bgNow = NowPlaying{getString(*bgNow, "title"), getString(*bgNow, "artist")};
    if (const Json* dance = getObject(d, "dance")) doc.dance = readDance(*dance);
    if (const Json* qr = getObject(d, "qr")) doc.qr = readQr(*qr);
    return doc;
}

AssetTexts readAssetTexts(const Json& document) {
    return AssetTexts{getString(document, "bg"), getString(document, "logo")};
}

std::vector<std::string> readSlideTexts(const Json& document) {
    std::vector<std::string> texts;
    if (!document.is_array()) return texts;
    for (const Json& element : document) {
        std::string text;
        if (element.is_string())
            text = element.get<std::string>();
        else if (element.is_object() && !getBool(element, "hidden", false))
            text = getString(element, "data");
        if (!text.empty()) texts.push_back(std::move(text));
    }
    return texts;
}

std::vector<std::string> readDanceTexts(const Json& document) {
    std::vector<std::string> texts;
    if (!document.is_array()) return texts;
    for (const Json& element : document) {
        if (!element.is_object() || getBool(element, "hidden", false)) continue;
        std::string text = getString(element, "data");
        if (!text.empty()) texts.push_back(std::move(text));
    }
    return texts;
}

}  // namespace qk::overlay
