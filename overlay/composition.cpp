#include "overlay/composition.h"

#include <algorithm>
#include <cmath>

namespace qk::overlay {
namespace {
constexpr float kPi = 3.1415927f;
constexpr double kFadeSeconds = 0.3;
constexpr double kCrossfadeSeconds = 0.8;
}  // namespace

float fadeToward(float current, float target, double dt) {
    if (dt <= 0) return target;
    const auto step = static_cast<float>(dt / kFadeSeconds);
    return current < target ? std::min(target, current + step) : std::max(target, current - step);
}

Rect tickerBar(std::string_view edge, float outW, float outH) {
    const float barH = std::max(0.05f * outH, 40.0f);
    return {0, edge == "top" ? 0 : outH - barH, outW, barH};
}

double advanceScroll(double scrollX, double s, double speed, double dt, std::int32_t textureWidth) {
    scrollX -= s * std::max(speed, 40.0) * dt;
    if (textureWidth >= 1 && scrollX <= -textureWidth) scrollX = std::fmod(scrollX, double(textureWidth));
    // fmod leaves -tw < x <= 0 but may land on exactly -tw through rounding.
    while (textureWidth >= 1 && scrollX <= -textureWidth) scrollX += textureWidth;
    return scrollX;
}

Rect logoRect(float outW, float outH, std::int32_t logoWidth, std::int32_t imageW, std::int32_t imageH) {
    const float s = outH / 1080;
    const std::int32_t percent = logoWidth <= 0 ? 20 : std::clamp(logoWidth, 5, 45);
    float L = percent / 100.0f * outW;
    float E = L * float(imageH) / float(imageW);
    if (E > 0.85f * outH) {
        L = L * 0.85f * outH / E;
        E = 0.85f * outH;
    }
    return {std::max((0.333f * outW - L) / 2, 12 * s), 36 * s, L, E};
}

SlideStep stepSlides(SlideClock& clock, std::int32_t count, double secs, double t) {
    SlideStep step;
    if (count <= 0) return step;
    const double hold = std::max(secs, 2.0);
    if (clock.index >= count) clock.restart(t);
    if (clock.start == 0) clock.start = t;
    step.next = (clock.index + 1) % count;
    if (count > 1 && t - clock.start > hold) {
        step.fade = static_cast<float>(std::min((t - clock.start - hold) / kCrossfadeSeconds, 1.0));
        if (step.fade >= 1) {
            clock.index = step.next;
            clock.start = t;
            step.next = (step.next + 1) % count;
            step.fade = 0;
        }
    }
    step.index = clock.index;
    return step;
}

DanceSlot danceSlot(double t, double secs, std::size_t imageCount, const std::vector<std::string>& anims) {
    DanceSlot d;
    d.slot = static_cast<std::int32_t>(t / secs);
    d.phase = static_cast<float>(std::fmod(t, secs) / secs);
    const std::uint32_t h = static_cast<std::uint32_t>(d.slot) * 2654435761u;
    d.image = imageCount > 0 ? static_cast<std::uint32_t>(h % imageCount) : 0;
    d.animation = anims.empty() ? "pulse" : anims[(h >> 8) % anims.size()];
    d.place = static_cast<float>((h >> 16) % 1000) / 1000.0f;
    return d;
}

float danceFade(float phase) {
    return std::min({phase / 0.12f, (1 - phase) / 0.12f, 1.0f});
}

DancePlacement placeDance(std::string_view animation, float p, float r, float G, float A, float W, float H) {
    const float s = H / 1080;
    const float f = danceFade(p);
    if (animation == "bounce")
        return {{r * (W - G * A - 120 * s) + 60 * s, 0.78f * H - G - 0.16f * H * std::fabs(std::sin(4 * kPi * p)),
                 G * A, G},
                f};
    if (animation == "zoom") {
        const float S = 1.35f * G * std::sin(kPi * p);
        return {{(0.5f * r + 0.25f) * W - S * A / 2, 0.42f * H - S / 2, S * A, S}, 1};
    }
    if (animation == "float")
        return {{p * (W + 2 * G * A) - G * A, (0.45f * r + 0.15f) * H + 0.05f * H * std::sin(4 * kPi * p), G * A, G},
                f};
    if (animation == "drift")
        return {{0.12f * W * std::sin(2 * kPi * p) + (0.5f * r + 0.2f) * W - G * A / 2,
                 0.12f * H * std::cos(3 * kPi * p) + 0.35f * H, G * A, G},
                f};
    // "pulse", and any name this version does not know.
    const float k = 1 + 0.14f * std::sin(6 * kPi * p);
    return {{(0.5f * r + 0.25f) * W - k * G * A / 2, 0.4f * H - k * G / 2, k * G * A, k * G}, f};
}

float qrSide(std::int32_t size, float outH) {
    const std::int32_t percent = size < 1 ? 14 : std::clamp(size, 8, 30);
    return std::max(percent / 100.0f * outH, 90 * outH / 1080);
}

QrBox placeQr(const QrSettings& qr, float W, float H, float lab) {
    const float s = H / 1080;
    QrBox b;
    b.side = qrSide(qr.size, H);
    b.quiet = 0.09f * b.side;
    b.box = b.side + 2 * b.quiet;
    const float margin = 28 * s;
    const std::string corner = qr.corner.empty() ? "br" : qr.corner;
    if (corner == "tc") {
        b.x = (W - b.box) / 2;
        b.y = margin;
    } else if (corner == "bc") {
        b.x = (W - b.box) / 2;
        b.y = H - margin - b.box - lab;
    } else if (corner == "lc") {
        b.x = margin;
        b.y = (H - b.box - lab) / 2;
    } else if (corner == "rc") {
        b.x = W - margin - b.box;
        b.y = (H - b.box - lab) / 2;
    } else {
        b.x = corner.back() == 'l' ? margin : W - margin - b.box;
        b.y = corner.front() == 't' ? margin : H - margin - b.box - lab;
    }
    return b;
}

float qrCaptionX(const QrBox& b, float captionW, float W, float H) {
    const float s = H / 1080;
    return std::max(8 * s, std::min((b.box - captionW) / 2 + b.x, W - 8 * s - captionW));
}

}  // namespace qk::overlay
