// The 2D text and canvas seam on DirectWrite and Direct2D. Pictures are drawn
// by Direct2D into a B8G8R8A8 texture through its DXGI surface, on a Direct3D 11
// device of the engine's own (made with BGRA support, which Direct2D needs), and
// read back through a staging copy: the seam hands out pixels, which the GPU
// seam then uploads to the host's device.
#include <d2d1.h>
#include <d3d11.h>
#include <dwrite.h>
#include <dwrite_1.h>
#include <wrl/client.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/text_canvas.h"
#include "platform/win32/wide_path.h"

namespace qk::platform {
namespace {

using Microsoft::WRL::ComPtr;

// The display's family and locale.
constexpr const wchar_t* kFamily = L"Segoe UI";
constexpr const wchar_t* kLocale = L"en-us";
// Where the display's family is not installed (Wine sees only fontconfig's
// fonts, and a missing family would draw nothing), the nearest sans family that is.
constexpr std::array<const wchar_t*, 6> kFallbackFamilies = {L"Arial",     L"Liberation Sans", L"DejaVu Sans",
                                                            L"Noto Sans", L"Tahoma",          L"Verdana"};

DWRITE_FONT_WEIGHT toWeight(int weight) {
    return static_cast<DWRITE_FONT_WEIGHT>(std::clamp(weight, 1, 999));
}

D2D1_COLOR_F toColor(Rgba c) {
    return D2D1::ColorF(std::clamp(c.r, 0.0f, 1.0f), std::clamp(c.g, 0.0f, 1.0f), std::clamp(c.b, 0.0f, 1.0f),
                        std::clamp(c.a, 0.0f, 1.0f));
}

// A colour over a stretch of the layout, in UTF-16 units.
struct ColorRange {
    DWRITE_TEXT_RANGE range;
    Rgba color;
};

class DirectWriteLayout final : public TextLayout {
public:
    DirectWriteLayout(ComPtr<IDWriteTextLayout> layout, std::vector<ColorRange> colors)
        : layout_(std::move(layout)), colors_(std::move(colors)) {
        DWRITE_TEXT_METRICS metrics{};
        if (SUCCEEDED(layout_->GetMetrics(&metrics))) {
            width_ = metrics.widthIncludingTrailingWhitespace;
            height_ = metrics.height;
        }
    }
    float width() const override { return width_; }
    float height() const override { return height_; }
    IDWriteTextLayout* get() const { return layout_.Get(); }
    const std::vector<ColorRange>& colors() const { return colors_; }

private:
    ComPtr<IDWriteTextLayout> layout_;
    std::vector<ColorRange> colors_;
    float width_ = 0, height_ = 0;
};

class Direct2DCanvas final : public Canvas {
public:
    explicit Direct2DCanvas(ID2D1RenderTarget* target) : target_(target) {}

    void drawText(const TextLayout& layout, float x, float y, Rgba color) override {
        const auto& dw = static_cast<const DirectWriteLayout&>(layout);
        const ComPtr<ID2D1SolidColorBrush> brush = makeBrush(color);
        if (!brush) return;
        // Brushes belong to the render target, so a run's colour becomes a
        // drawing effect only for this drawing, and is taken off afterwards.
        for (const ColorRange& run : dw.colors())
            if (const ComPtr<ID2D1SolidColorBrush> runBrush = makeBrush(run.color))
                dw.get()->SetDrawingEffect(runBrush.Get(), run.range);
        target_->DrawTextLayout(D2D1::Point2F(x, y), dw.get(), brush.Get(), D2D1_DRAW_TEXT_OPTIONS_ENABLE_COLOR_FONT);
        for (const ColorRange& run : dw.colors()) dw.get()->SetDrawingEffect(nullptr, run.range);
    }
    void fillRect(float x, float y, float w, float h, Rgba color) override {
        if (const ComPtr<ID2D1SolidColorBrush> brush = makeBrush(color))
            target_->FillRectangle(D2D1::RectF(x, y, x + w, y + h), brush.Get());
    }
    void fillRoundedRect(float x, float y, float w, float h, float radius, Rgba color) override {
        const float r = std::clamp(radius, 0.0f, std::min(w, h) / 2);
        if (const ComPtr<ID2D1SolidColorBrush> brush = makeBrush(color))
            target_->FillRoundedRectangle(D2D1::RoundedRect(D2D1::RectF(x, y, x + w, y + h), r, r), brush.Get());
    }

private:
    ComPtr<ID2D1SolidColorBrush> makeBrush(Rgba color) {
        ComPtr<ID2D1SolidColorBrush> brush;
        if (FAILED(target_->CreateSolidColorBrush(toColor(color), brush.GetAddressOf()))) brush.Reset();
        return brush;
    }

    ID2D1RenderTarget* target_;
};

std::string hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

class DirectWriteEngine final : public TextEngine {
public:
    void setNoticeSink(std::function<void(std::string_view)> sink) override { notice_ = std::move(sink); }

    std::unique_ptr<TextLayout> makeLayout(std::string_view text, const TextStyle& style) override {
        const bool cut = style.ellipsis && style.maxWidth > 0;
        const ComPtr<IDWriteTextFormat> format = makeFormat(style.size, style.weight);
        if (!format) return nullptr;
        const std::wstring wide = win32::widen(text);
        ComPtr<IDWriteTextLayout> layout;
        // Lines break only at explicit line breaks: the width is the caller's
        // with one-line trimming, or practically unbounded.
        if (FAILED(dwrite_->CreateTextLayout(wide.data(), static_cast<UINT32>(wide.size()), format.Get(),
                                             cut ? style.maxWidth : 1000000.0f, 100000.0f, layout.GetAddressOf())))
            return nullptr;
        const DWRITE_TEXT_RANGE whole{0, static_cast<UINT32>(wide.size())};
        if (style.letterSpacing != 0) {
            ComPtr<IDWriteTextLayout1> spaced;
            if (SUCCEEDED(layout.As(&spaced))) spaced->SetCharacterSpacing(0, style.letterSpacing, 0, whole);
        }
        if (cut) {
            layout->SetWordWrapping(DWRITE_WORD_WRAPPING_NO_WRAP);
            ComPtr<IDWriteInlineObject> sign;
            if (SUCCEEDED(dwrite_->CreateEllipsisTrimmingSign(format.Get(), sign.GetAddressOf()))) {
                const DWRITE_TRIMMING trimming{DWRITE_TRIMMING_GRANULARITY_CHARACTER, 0, 0};
                layout->SetTrimming(&trimming, sign.Get());
            }
        }
        return std::make_unique<DirectWriteLayout>(std::move(layout), std::vector<ColorRange>{});
    }

    std::unique_ptr<TextLayout> makeRunLayout(std::string_view text, float baseSize,
                                              const std::vector<TextRun>& runs) override {
        const ComPtr<IDWriteTextFormat> format = makeFormat(baseSize, 400);
        if (!format) return nullptr;
        const std::wstring wide = win32::widen(text);
        ComPtr<IDWriteTextLayout> layout;
        if (FAILED(dwrite_->CreateTextLayout(wide.data(), static_cast<UINT32>(wide.size()), format.Get(), 1000000.0f,
                                             100000.0f, layout.GetAddressOf())))
            return nullptr;
        std::vector<ColorRange> colors;
        for (const TextRun& run : runs) {
            // Runs count UTF-8 bytes, the layout UTF-16 units.
            const std::size_t start = std::min(run.start, text.size());
            const std::size_t end = std::min(run.start + run.length, text.size());
            const auto from = static_cast<UINT32>(win32::widen(text.substr(0, start)).size());
            const auto to = static_cast<UINT32>(win32::widen(text.substr(0, end)).size());
            if (to <= from) continue;
            const DWRITE_TEXT_RANGE range{from, to - from};
            layout->SetFontSize(std::max(1.0f, run.size), range);
            layout->SetFontWeight(toWeight(run.weight), range);
            colors.push_back({range, run.color});
        }
        return std::make_unique<DirectWriteLayout>(std::move(layout), std::move(colors));
    }

    CanvasPicture render(std::int32_t width, std::int32_t height, const std::function<void(Canvas&)>& draw) override {
        CanvasPicture picture;
        if (width < 1 || height < 1 || !ensureFactories() || !ensureDevice()) return picture;
        width = std::min(width, kMaxSide);
        height = std::min(height, kMaxSide);

        D3D11_TEXTURE2D_DESC desc{};
        desc.Width = static_cast<UINT>(width);
        desc.Height = static_cast<UINT>(height);
        desc.MipLevels = 1;
        desc.ArraySize = 1;
        desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.Usage = D3D11_USAGE_DEFAULT;
        desc.BindFlags = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
        ComPtr<ID3D11Texture2D> texture;
        if (FAILED(device_->CreateTexture2D(&desc, nullptr, texture.GetAddressOf()))) return picture;
        ComPtr<IDXGISurface> surface;
        if (FAILED(texture.As(&surface))) return picture;
        const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
            D2D1_RENDER_TARGET_TYPE_DEFAULT,
            D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 96.0f, 96.0f);
        ComPtr<ID2D1RenderTarget> target;
        if (const HRESULT hr = d2d_->CreateDxgiSurfaceRenderTarget(surface.Get(), &properties, target.GetAddressOf());
            FAILED(hr)) {
            noteFailureOnce("CreateDxgiSurfaceRenderTarget FAILED hr=" + hex(hr) + " (BGRA device support?)");
            return picture;
        }
        // ClearType needs an opaque background to blend against; these pictures are transparent.
        target->SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE);
        target->BeginDraw();
        target->Clear(D2D1::ColorF(0, 0, 0, 0));
        {
            Direct2DCanvas canvas(target.Get());
            draw(canvas);
        }
        if (const HRESULT hr = target->EndDraw(); FAILED(hr)) {
            note("makeTextTexture: EndDraw hr=" + hex(hr));
            return picture;
        }
        readBack(texture.Get(), desc, picture);
        return picture;
    }

private:
    // The factories and the device are made on first use, and tried again on a
    // later use after a failure.
    bool ensureFactories() {
        if (!d2d_) {
            const D2D1_FACTORY_OPTIONS options{D2D1_DEBUG_LEVEL_NONE};
            if (FAILED(D2D1CreateFactory(D2D1_FACTORY_TYPE_MULTI_THREADED, __uuidof(ID2D1Factory), &options,
                                         reinterpret_cast<void**>(d2d_.ReleaseAndGetAddressOf())))) {
                d2d_.Reset();
                noteFailureOnce("D2D1CreateFactory FAILED");
                return false;
            }
        }
        if (!dwrite_) {
            if (FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                           reinterpret_cast<IUnknown**>(dwrite_.ReleaseAndGetAddressOf())))) {
                dwrite_.Reset();
                noteFailureOnce("DWriteCreateFactory FAILED");
                return false;
            }
            family_ = installedFamily();
        }
        return true;
    }

    bool ensureDevice() {
        if (device_) return true;
        const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1, D3D_FEATURE_LEVEL_10_0};
        for (const D3D_DRIVER_TYPE type : {D3D_DRIVER_TYPE_HARDWARE, D3D_DRIVER_TYPE_WARP})
            if (SUCCEEDED(D3D11CreateDevice(nullptr, type, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, levels,
                                            static_cast<UINT>(std::size(levels)), D3D11_SDK_VERSION,
                                            device_.ReleaseAndGetAddressOf(), nullptr,
                                            context_.ReleaseAndGetAddressOf())))
                return true;
        device_.Reset();
        context_.Reset();
        return false;
    }

    // The display's family when the system has it, else the first fallback it
    // has (said once in the log), else the display's family all the same.
    std::wstring installedFamily() {
        ComPtr<IDWriteFontCollection> fonts;
        if (FAILED(dwrite_->GetSystemFontCollection(fonts.GetAddressOf(), FALSE))) return kFamily;
        const auto has = [&](const wchar_t* family) {
            UINT32 index = 0;
            BOOL exists = FALSE;
            return SUCCEEDED(fonts->FindFamilyName(family, &index, &exists)) && exists;
        };
        if (has(kFamily)) return kFamily;
        for (const wchar_t* fallback : kFallbackFamilies)
            if (has(fallback)) {
                note("text: font family \"Segoe UI\" is not installed, drawing with \"" + win32::narrow(fallback) +
                     "\"");
                return fallback;
            }
        note("text: font family \"Segoe UI\" is not installed, nor any fallback sans family");
        return kFamily;
    }

    ComPtr<IDWriteTextFormat> makeFormat(float size, int weight) {
        ComPtr<IDWriteTextFormat> format;
        if (!ensureFactories() ||
            FAILED(dwrite_->CreateTextFormat(family_.c_str(), nullptr, toWeight(weight), DWRITE_FONT_STYLE_NORMAL,
                                             DWRITE_FONT_STRETCH_NORMAL, std::max(1.0f, size), kLocale,
                                             format.GetAddressOf())))
            format.Reset();
        return format;
    }

    // The drawn texture's rows, through a copy the CPU may read.
    void readBack(ID3D11Texture2D* texture, D3D11_TEXTURE2D_DESC desc, CanvasPicture& picture) {
        desc.Usage = D3D11_USAGE_STAGING;
        desc.BindFlags = 0;
        desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
        ComPtr<ID3D11Texture2D> staging;
        if (FAILED(device_->CreateTexture2D(&desc, nullptr, staging.GetAddressOf()))) return;
        context_->CopyResource(staging.Get(), texture);
        D3D11_MAPPED_SUBRESOURCE mapped{};
        if (FAILED(context_->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped))) return;
        const std::size_t row = static_cast<std::size_t>(desc.Width) * 4;
        picture.pixels.resize(row * desc.Height);
        for (UINT y = 0; y < desc.Height; ++y)
            std::memcpy(picture.pixels.data() + row * y, static_cast<const std::uint8_t*>(mapped.pData) + mapped.RowPitch * y,
                        row);
        context_->Unmap(staging.Get(), 0);
        picture.width = static_cast<std::int32_t>(desc.Width);
        picture.height = static_cast<std::int32_t>(desc.Height);
    }

    void note(const std::string& line) {
        if (notice_) notice_(line);
    }
    // The first Direct2D failure only is worth a line; the rest repeat it.
    void noteFailureOnce(const std::string& line) {
        if (failureNoted_) return;
        failureNoted_ = true;
        note(line);
    }

    ComPtr<ID2D1Factory> d2d_;
    ComPtr<IDWriteFactory> dwrite_;
    ComPtr<ID3D11Device> device_;
    ComPtr<ID3D11DeviceContext> context_;
    std::wstring family_ = kFamily;
    std::function<void(std::string_view)> notice_;
    bool failureNoted_ = false;
};

}  // namespace

std::unique_ptr<TextEngine> TextEngine::create() {
    return std::make_unique<DirectWriteEngine>();
}

}  // namespace qk::platform
