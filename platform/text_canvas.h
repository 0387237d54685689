// 2D text and canvas seam: text layouts and simple fills drawn into a
// premultiplied BGRA picture, which the overlay then uploads as a texture. One
// backend per platform (Pango + Cairo here, DirectWrite + Direct2D on Windows).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/color.h"

namespace qk::platform {

// Texts are UTF-8; sizes are in output pixels; weights the usual 100 to 900.
struct TextStyle {
    float size = 16;
    int weight = 400;
    float letterSpacing = 0;  // added after each character; 0 for none
    float maxWidth = 0;       // with ellipsis: one line cut with "…" to fit; 0 for no limit
    bool ellipsis = false;
};

// A stretch of a text with its own size, weight and colour (byte offsets).
struct TextRun {
    std::size_t start = 0;
    std::size_t length = 0;
    float size = 16;
    int weight = 400;
    Rgba color;
};

class TextLayout {
public:
    virtual ~TextLayout() = default;
    // The measured size, trailing white space included.
    virtual float width() const = 0;
    virtual float height() const = 0;
};

class Canvas {
public:
    virtual ~Canvas() = default;
    // Draws the layout with its top left corner at (x, y) in the colour (runs
    // keep their own); colour fonts such as emoji keep their own colours.
    virtual void drawText(const TextLayout& layout, float x, float y, Rgba color) = 0;
    virtual void fillRect(float x, float y, float w, float h, Rgba color) = 0;
    virtual void fillRoundedRect(float x, float y, float w, float h, float radius, Rgba color) = 0;
};

// A premultiplied BGRA picture, rows top to bottom, stride width * 4.
struct CanvasPicture {
    std::vector<std::uint8_t> pixels;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

class TextEngine {
public:
    virtual ~TextEngine() = default;

    // The platform's backend: Pango + Cairo, or DirectWrite + Direct2D on Windows.
    static std::unique_ptr<TextEngine> create();

    // Where the backend reports what belongs in the log (a missing display
    // family and what stands in for it, a failed drawing device), one line each.
    virtual void setNoticeSink(std::function<void(std::string_view line)> sink) { (void)sink; }

    // The largest picture side; larger requests are clamped to it.
    static constexpr std::int32_t kMaxSide = 16384;

    // A layout in the display family; null when it cannot be made.
    virtual std::unique_ptr<TextLayout> makeLayout(std::string_view text, const TextStyle& style) = 0;
    // One line in the display family at baseSize and weight 400, with runs.
    virtual std::unique_ptr<TextLayout> makeRunLayout(std::string_view text, float baseSize,
                                                      const std::vector<TextRun>& runs) = 0;
    // A transparent picture of width x height (each clamped to kMaxSide) that
    // draw paints; empty when either side is below 1, without calling draw.
    virtual CanvasPicture render(std::int32_t width, std::int32_t height, const std::function<void(Canvas&)>& draw) = 0;
};

}  // namespace qk::platform
