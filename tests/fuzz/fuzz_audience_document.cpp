// audience.json and the picture documents read into typed values, then the idle
// screen, its dance banner and the ticker line built from them, with a text
// engine double that measures and records (no GPU, no fonts).
//
// Input: byte 0 picks the output size, the rest is the document's text.
#include <cstdint>
#include <string_view>

#include "overlay/audience_document.h"
#include "overlay/idle_screen.h"
#include "overlay/ticker.h"
#include "tests/overlay/recording_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return -1;
    static const float kSizes[][2] = {{1920, 1080}, {1280, 720}, {320, 180}, {1, 1}};
    const float* out = kSizes[data[0] % 4];
    const auto json = qk::parseJsonStrict(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
    if (!json) return -1;

    (void)qk::overlay::readAssetTexts(*json);
    (void)qk::overlay::readSlideTexts(*json);
    (void)qk::overlay::readDanceTexts(*json);

    const auto doc = qk::overlay::AudienceDocument::read(*json);
    auto record = std::make_shared<qktest::TextRecord>();
    qktest::RecordingText text(record);
    qk::overlay::IdleLayout layout;
    const auto W = static_cast<std::int32_t>(out[0]), H = static_cast<std::int32_t>(out[1]);
    text.render(W, H, [&](qk::platform::Canvas& c) { drawIdleLayer(c, text, doc, out[0], out[1], layout); });
    if (!layout.bannerText.empty())
        text.render(layout.bannerW, layout.bannerH,
                    [&](qk::platform::Canvas& c) { drawDanceBanner(c, text, doc, out[1], layout); });
    const float s = out[1] / 1080.0f;
    std::int32_t w = 0, h = 0;
    (void)qk::overlay::renderTicker(text, qk::overlay::tickerSegments(doc, s), s, &w, &h);
    return 0;
}
