#include "overlay/hex_color.h"

namespace qk::overlay {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

Color parseHexColor(std::string_view text, Color fallback) {
    if (text.size() != 7 || text[0] != '#') return fallback;
    int channel[3];
    for (int i = 0; i < 3; ++i) {
        const int hi = hexDigit(text[1 + 2 * i]);
        const int lo = hexDigit(text[2 + 2 * i]);
        if (hi < 0 || lo < 0) return fallback;
        channel[i] = hi * 16 + lo;
    }
    return Color{channel[0] / 255.0f, channel[1] / 255.0f, channel[2] / 255.0f, 1.0f};
}

}  // namespace qk::overlay
