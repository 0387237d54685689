// The 2D text and canvas seam on Pango and Cairo. Cairo's ARGB32 surfaces hold
// premultiplied pixels in native byte order, which on a little-endian machine is
// exactly the BGRA the GPU seam uploads.
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstring>

#include "platform/text_canvas.h"

namespace qk::platform {
namespace {

// The display's family; fontconfig picks the nearest installed face.
constexpr const char* kFamily = "Segoe UI";

template <class T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const {
        if (p) Free(p);
    }
};
using FontDescription =
    std::unique_ptr<PangoFontDescription, Deleter<PangoFontDescription, pango_font_description_free>>;
using AttrList = std::unique_ptr<PangoAttrList, Deleter<PangoAttrList, pango_attr_list_unref>>;

PangoWeight toPangoWeight(int weight) {
    return static_cast<PangoWeight>(std::clamp(weight, 100, 1000));
}

guint16 channel(float v) {
    return static_cast<guint16>(std::clamp(v, 0.0f, 1.0f) * 65535.0f + 0.5f);
}

FontDescription makeFont(float size, int weight) {
    FontDescription font(pango_font_description_new());
    pango_font_description_set_family(font.get(), kFamily);
    pango_font_description_set_weight(font.get(), toPangoWeight(weight));
    pango_font_description_set_absolute_size(font.get(), std::max(1.0, double(size)) * PANGO_SCALE);
    return font;
}

class PangoTextLayout final : public TextLayout {
public:
    explicit PangoTextLayout(PangoLayout* layout) : layout_(layout) {
        PangoRectangle logical{};
        pango_layout_get_extents(layout_, nullptr, &logical);
        width_ = static_cast<float>(logical.width) / PANGO_SCALE;
        height_ = static_cast<float>(logical.height) / PANGO_SCALE;
    }
    ~PangoTextLayout() override { g_object_unref(layout_); }
    float width() const override { return width_; }
    float height() const override { return height_; }
    PangoLayout* get() const { return layout_; }

private:
    PangoLayout* layout_;
    float width_ = 0, height_ = 0;
};

class CairoCanvas final : public Canvas {
public:
    explicit CairoCanvas(cairo_t* cr) : cr_(cr) {}

    void drawText(const TextLayout& layout, float x, float y, Rgba c) override {
        const auto& pango = static_cast<const PangoTextLayout&>(layout);
        cairo_save(cr_);
        cairo_set_source_rgba(cr_, c.r, c.g, c.b, c.a);
        cairo_move_to(cr_, x, y);
        pango_cairo_show_layout(cr_, pango.get());
        cairo_restore(cr_);
    }
    void fillRect(float x, float y, float w, float h, Rgba c) override {
        cairo_set_source_rgba(cr_, c.r, c.g, c.b, c.a);
        cairo_rectangle(cr_, x, y, w, h);
        cairo_fill(cr_);
    }
    void fillRoundedRect(float x, float y, float w, float h, float radius, Rgba c) override {
        const double r = std::clamp(double(radius), 0.0, std::min(w, h) / 2.0);
        cairo_new_sub_path(cr_);
        cairo_arc(cr_, x + w - r, y + r, r, -G_PI / 2, 0);
        cairo_arc(cr_, x + w - r, y + h - r, r, 0, G_PI / 2);
        cairo_arc(cr_, x + r, y + h - r, r, G_PI / 2, G_PI);
        cairo_arc(cr_, x + r, y + r, r, G_PI, 3 * G_PI / 2);
        cairo_close_path(cr_);
        cairo_set_source_rgba(cr_, c.r, c.g, c.b, c.a);
        cairo_fill(cr_);
    }

private:
    cairo_t* cr_;
};

class PangoTextEngine final : public TextEngine {
public:
    PangoTextEngine() : fontMap_(pango_cairo_font_map_new()), context_(pango_font_map_create_context(fontMap_)) {
        // Layouts are measured once and drawn later into pictures of their own,
        // so metrics must not depend on the device: no hinting of metrics.
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        pango_cairo_context_set_font_options(context_, options);
        cairo_font_options_destroy(options);
        pango_cairo_context_set_resolution(context_, 96);
    }
    ~PangoTextEngine() override {
        g_object_unref(context_);
        g_object_unref(fontMap_);
    }

    std::unique_ptr<TextLayout> makeLayout(std::string_view text, const TextStyle& style) override {
        PangoLayout* layout = newLayout(text, style.size, style.weight);
        if (layout == nullptr) return nullptr;
        if (style.letterSpacing != 0) {
            AttrList attrs(pango_attr_list_new());
            pango_attr_list_insert(attrs.get(),
                                   pango_attr_letter_spacing_new(static_cast<int>(style.letterSpacing * PANGO_SCALE)));
            pango_layout_set_attributes(layout, attrs.get());
        }
        if (style.ellipsis && style.maxWidth > 0) {
            pango_layout_set_width(layout, static_cast<int>(style.maxWidth * PANGO_SCALE));
            pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
            pango_layout_set_single_paragraph_mode(layout, TRUE);
        }
        return std::make_unique<PangoTextLayout>(layout);
    }

    std::unique_ptr<TextLayout> makeRunLayout(std::string_view text, float baseSize,
                                              const std::vector<TextRun>& runs) override {
        PangoLayout* layout = newLayout(text, baseSize, 400);
        if (layout == nullptr) return nullptr;
        AttrList attrs(pango_attr_list_new());
        for (const TextRun& run : runs) {
            const auto start = static_cast<guint>(run.start), end = static_cast<guint>(run.start + run.length);
            for (PangoAttribute* a :
                 {pango_attr_size_new_absolute(static_cast<int>(run.size * PANGO_SCALE)),
                  pango_attr_weight_new(toPangoWeight(run.weight)),
                  pango_attr_foreground_new(channel(run.color.r), channel(run.color.g), channel(run.color.b)),
                  pango_attr_foreground_alpha_new(std::max<guint16>(1, channel(run.color.a)))}) {
                a->start_index = start;
                a->end_index = end;
                pango_attr_list_insert(attrs.get(), a);
            }
        }
        pango_layout_set_attributes(layout, attrs.get());
        return std::make_unique<PangoTextLayout>(layout);
    }

    CanvasPicture render(std::int32_t width, std::int32_t height, const std::function<void(Canvas&)>& draw) override {
        CanvasPicture picture;
        if (width < 1 || height < 1) return picture;
        width = std::min(width, kMaxSide);
        height = std::min(height, kMaxSide);
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(surface);
            return picture;
        }
        cairo_t* cr = cairo_create(surface);
        {
            CairoCanvas canvas(cr);
            draw(canvas);
        }
        const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        if (ok) {
            const auto row = static_cast<std::size_t>(width) * 4;
            const int stride = cairo_image_surface_get_stride(surface);
            const unsigned char* data = cairo_image_surface_get_data(surface);
            picture.pixels.resize(row * static_cast<std::size_t>(height));
            for (std::int32_t y = 0; y < height; ++y)
                std::memcpy(picture.pixels.data() + row * static_cast<std::size_t>(y),
                            data + static_cast<std::size_t>(stride) * static_cast<std::size_t>(y), row);
            picture.width = width;
            picture.height = height;
        }
        cairo_surface_destroy(surface);
        return picture;
    }

private:
    PangoLayout* newLayout(std::string_view text, float size, int weight) {
        PangoLayout* layout = pango_layout_new(context_);
        if (layout == nullptr) return nullptr;
        pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
        const FontDescription font = makeFont(size, weight);
        pango_layout_set_font_description(layout, font.get());
        return layout;
    }

    PangoFontMap* fontMap_;
    PangoContext* context_;
};

}  // namespace

std::unique_ptr<TextEngine> TextEngine::create() {
    return std::make_unique<PangoTextEngine>();
}

}  // namespace qk::platform
