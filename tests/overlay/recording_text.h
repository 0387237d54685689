// A TextEngine double for the overlay's logic: layouts measure a fixed width per
// byte (half the size) and 1.25 times the size tall, and every text and fill
// drawn is recorded with where and in what colour.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/text_canvas.h"

namespace qktest {

struct DrawnItem {
    std::string text;  // empty for a fill
    float x, y, w, h;
    qk::platform::Rgba color;
    qk::platform::TextStyle style;
    bool rounded = false;
};

struct TextRecord {
    std::vector<DrawnItem> drawn;
    std::vector<std::pair<int, int>> renders;  // sizes asked for
    std::vector<qk::platform::TextRun> lastRuns;
    std::string lastRunText;
    bool failLayouts = false;

    // The last drawing of the text: the text itself, drawn after its shadow.
    const DrawnItem* find(const std::string& text) const {
        for (auto it = drawn.rbegin(); it != drawn.rend(); ++it)
            if (it->text == text) return &*it;
        return nullptr;
    }
    int count(const std::string& text) const {
        int n = 0;
        for (const DrawnItem& d : drawn) n += d.text == text;
        return n;
    }
};

class RecordingText final : public qk::platform::TextEngine {
public:
    explicit RecordingText(std::shared_ptr<TextRecord> record) : record_(std::move(record)) {}

    std::unique_ptr<qk::platform::TextLayout> makeLayout(std::string_view text,
                                                         const qk::platform::TextStyle& style) override {
        if (record_->failLayouts) return nullptr;
        float w = 0.5f * style.size * static_cast<float>(text.size());
        if (style.ellipsis && style.maxWidth > 0 && w > style.maxWidth) w = style.maxWidth;
        return std::make_unique<Layout>(std::string(text), style, w, 1.25f * style.size);
    }
    std::unique_ptr<qk::platform::TextLayout> makeRunLayout(std::string_view text, float baseSize,
                                                            const std::vector<qk::platform::TextRun>& runs) override {
        if (record_->failLayouts) return nullptr;
        record_->lastRuns = runs;
        record_->lastRunText = std::string(text);
        float w = 0, h = 1.25f * baseSize;
        for (const auto& r : runs) w += 0.5f * r.size * static_cast<float>(r.length);
        return std::make_unique<Layout>(std::string(text), qk::platform::TextStyle{baseSize}, w, h);
    }
    qk::platform::CanvasPicture render(std::int32_t width, std::int32_t height,
                                       const std::function<void(qk::platform::Canvas&)>& draw) override {
        if (width < 1 || height < 1) return {};
        width = std::min(width, kMaxSide);
        height = std::min(height, kMaxSide);
        record_->renders.emplace_back(width, height);
        Canvas canvas(*record_);
        draw(canvas);
        qk::platform::CanvasPicture p;
        p.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
        p.width = width;
        p.height = height;
        return p;
    }

private:
    struct Layout final : qk::platform::TextLayout {
        Layout(std::string t, qk::platform::TextStyle s, float w, float h)
            : text(std::move(t)), style(s), w_(w), h_(h) {}
        float width() const override { return w_; }
        float height() const override { return h_; }
        std::string text;
        qk::platform::TextStyle style;
        float w_, h_;
    };
    struct Canvas final : qk::platform::Canvas {
        explicit Canvas(TextRecord& r) : record(r) {}
        void drawText(const qk::platform::TextLayout& l, float x, float y, qk::platform::Rgba c) override {
            const auto& layout = static_cast<const Layout&>(l);
            record.drawn.push_back({layout.text, x, y, l.width(), l.height(), c, layout.style});
        }
        void fillRect(float x, float y, float w, float h, qk::platform::Rgba c) override {
            record.drawn.push_back({"", x, y, w, h, c, {}});
        }
        void fillRoundedRect(float x, float y, float w, float h, float, qk::platform::Rgba c) override {
            record.drawn.push_back({"", x, y, w, h, c, {}, true});
        }
        TextRecord& record;
    };

    std::shared_ptr<TextRecord> record_;
};

}  // namespace qktest
