// Colours as the page writes them: "#rrggbb".
#pragma once

#include <string_view>

#include "platform/color.h"

namespace qk::overlay {

// Red, green, blue and alpha, 0 to 1.
using Color = platform::Rgba;

inline constexpr Color kBlack{0, 0, 0, 1};
inline constexpr Color kWhite{1, 1, 1, 1};

// "#" and six hexadecimal digits (either case) give that colour with alpha 1;
// any other text, three- and eight-digit forms included, gives the fallback.
Color parseHexColor(std::string_view text, Color fallback);

}  // namespace qk::overlay
