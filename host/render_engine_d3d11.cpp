// qkhost's video side on Windows: a render thread with a Direct3D 11 device of
// its own, made as the DJ host makes its device (BGRA support on, so that
// Direct2D can draw on its textures), a render target of the output's size, the
// deck picture (a PNG or a test card) drawn with the host's own small pipeline,
// then every video effect's OnDraw; frames saved as PNG through WIC.
#include <d3d11.h>
#include <d3dcompiler.h>
#include <wincodec.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <mutex>

#include "host/frame_pacing.h"
#include "host/render_engine.h"
#include "platform/win32/wide_path.h"

namespace qkhost {

namespace {

template <typename T>
void release(T*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

// The deck picture covers the output: four corners made from the vertex
// number, no vertex buffer.
const char* kDeckVertexShader =
    "void main(uint id:SV_VertexID, out float4 pos:SV_POSITION, out float2 uv:TEXCOORD) {\n"
    "    uv = float2(id & 1, id >> 1);\n"
    "    pos = float4(uv.x * 2 - 1, 1 - uv.y * 2, 0, 1);\n"
    "}\n";
const char* kDeckPixelShader =
    "Texture2D picture : register(t0); SamplerState smp : register(s0);\n"
    "float4 main(float4 pos:SV_POSITION, float2 uv:TEXCOORD):SV_TARGET { return picture.Sample(smp, uv); }\n";

ID3DBlob* compileShader(const char* source, const char* target) {
    ID3DBlob *code = nullptr, *errors = nullptr;
    if (FAILED(
            D3DCompile(source, std::strlen(source), nullptr, nullptr, nullptr, "main", target, 0, 0, &code, &errors))) {
        const std::string text =
            errors ? std::string(static_cast<const char*>(errors->GetBufferPointer()), errors->GetBufferSize()) : "?";
        std::fprintf(stderr, "qkhost: shader: %s\n", text.c_str());
    }
    release(errors);
    return code;
}

// Premultiplied BGRA rows, top first, stride width * 4.
struct Picture {
    std::vector<std::uint8_t> pixels;
    int width = 0, height = 0;

    void blend(int x, int y, double r, double g, double b, double a) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        std::uint8_t* p = pixels.data() + (static_cast<size_t>(y) * width + x) * 4;
        const double rgb[3] = {b, g, r};
        for (int i = 0; i < 3; ++i) p[i] = static_cast<std::uint8_t>(std::lround(rgb[i] * 255 * a + p[i] * (1 - a)));
        p[3] = 255;
    }
};

// A test card: colour bars over a dark grid with a centre circle, so that what a
// plug-in draws over it, and where, is easy to see.
Picture makeTestCard(int w, int h) {
    Picture card{std::vector<std::uint8_t>(static_cast<size_t>(w) * h * 4), w, h};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) card.blend(x, y, 0.08, 0.08, 0.1, 1);
    const double bars[7][3] = {{0.75, 0.75, 0.75}, {0.75, 0.75, 0}, {0, 0.75, 0.75}, {0, 0.75, 0},
                               {0.75, 0, 0.75},    {0.75, 0, 0},    {0, 0, 0.75}};
    const double barW = w / 7.0;
    for (int y = static_cast<int>(h * 0.25); y < static_cast<int>(h * 0.75); ++y)
        for (int x = 0; x < w; ++x) {
            const double* c = bars[std::min(6, static_cast<int>(x / barW))];
            card.blend(x, y, c[0], c[1], c[2], 1);
        }
    for (int x = 0; x < w; x += 60)
        for (int y = 0; y < h; ++y) card.blend(x, y, 1, 1, 1, 0.25);
    for (int y = 0; y < h; y += 60)
        for (int x = 0; x < w; ++x)
            if (x % 60 != 0) card.blend(x, y, 1, 1, 1, 0.25);
    const double cx = w / 2.0, cy = h / 2.0, radius = std::min(w, h) * 0.3;
    for (int y = static_cast<int>(cy - radius - 3); y <= static_cast<int>(cy + radius + 3); ++y)
        for (int x = static_cast<int>(cx - radius - 3); x <= static_cast<int>(cx + radius + 3); ++x)
            if (std::abs(std::hypot(x + 0.5 - cx, y + 0.5 - cy) - radius) <= 1.5) card.blend(x, y, 1, 1, 1, 1);
    return card;
}

// A PNG (or any picture WIC reads) stretched over the output, as a deck's video fills it.
bool loadBackground(IWICImagingFactory* wic, const std::string& path, int w, int h, Picture* out) {
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICBitmapScaler* scaler = nullptr;
    IWICFormatConverter* converter = nullptr;
    const std::wstring wide = qk::platform::win32::widen(path);
    bool ok = wic != nullptr &&
              SUCCEEDED(wic->CreateDecoderFromFilename(wide.c_str(), nullptr, GENERIC_READ,
                                                       WICDecodeMetadataCacheOnDemand, &decoder)) &&
              SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(wic->CreateBitmapScaler(&scaler)) &&
              SUCCEEDED(scaler->Initialize(frame, w, h, WICBitmapInterpolationModeLinear)) &&
              SUCCEEDED(wic->CreateFormatConverter(&converter)) &&
              SUCCEEDED(converter->Initialize(scaler, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                              0, WICBitmapPaletteTypeCustom));
    if (ok) {
        out->width = w;
        out->height = h;
        out->pixels.assign(static_cast<size_t>(w) * h * 4, 0);
        ok = SUCCEEDED(converter->CopyPixels(nullptr, static_cast<UINT>(w) * 4, static_cast<UINT>(out->pixels.size()),
                                             out->pixels.data()));
    }
    release(converter);
    release(scaler);
    release(frame);
    release(decoder);
    return ok;
}

bool savePng(IWICImagingFactory* wic, const std::string& path, const std::uint8_t* pixels, int w, int h) {
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    const std::wstring wide = qk::platform::win32::widen(path);
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    const bool ok =
        wic != nullptr && SUCCEEDED(wic->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromFilename(wide.c_str(), GENERIC_WRITE)) &&
        SUCCEEDED(wic->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
        SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
        SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
        SUCCEEDED(frame->SetSize(static_cast<UINT>(w), static_cast<UINT>(h))) &&
        SUCCEEDED(frame->SetPixelFormat(&format)) && format == GUID_WICPixelFormat32bppBGRA &&
        SUCCEEDED(frame->WritePixels(static_cast<UINT>(h), static_cast<UINT>(w) * 4,
                                     static_cast<UINT>(w) * 4 * static_cast<UINT>(h), const_cast<BYTE*>(pixels))) &&
        SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
    release(frame);
    release(encoder);
    release(stream);
    return ok;
}

}  // namespace

struct RenderEngine::Impl final : vdj::VideoHostServices {
    RenderOptions options;
    std::vector<vdj::VideoFxPlugin*> plugins;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<std::thread::id> renderThread{};
    mutable std::mutex capturedMutex;
    std::vector<std::string> captured;

    IWICImagingFactory* wic = nullptr;
    ID3D11Device* device = nullptr;
    ID3D11DeviceContext* context = nullptr;
    ID3D11Texture2D *target = nullptr, *staging = nullptr, *deck = nullptr;
    ID3D11RenderTargetView* targetView = nullptr;
    ID3D11ShaderResourceView* deckView = nullptr;
    ID3D11VertexShader* deckVertexShader = nullptr;
    ID3D11PixelShader* deckPixelShader = nullptr;
    ID3D11SamplerState* deckSampler = nullptr;
    vdj::Vertex deckVertices[4]{};

    // The deck picture, drawn by the host before the effects and by DrawDeck.
    vdj::Result VDJ_API DrawDeck() override {
        if (std::this_thread::get_id() != renderThread.load()) return vdj::kNotImplemented;
        drawBackground();
        return vdj::kOk;
    }

    // The Direct3D 11 device, on the render thread only, as the DJ host hands
    // it: no reference is added for the caller.
    vdj::Result VDJ_API GetDevice(vdj::VideoEngine kind, void** answer) override {
        if (answer == nullptr) return vdj::kNotImplemented;
        *answer = nullptr;
        if (kind != vdj::VideoEngine::DirectX11 || device == nullptr ||
            std::this_thread::get_id() != renderThread.load())
            return vdj::kNotImplemented;
        *answer = device;
        return vdj::kOk;
    }

    // The deck picture's shader-resource view and the four corners that cover
    // the output with it.
    vdj::Result VDJ_API GetTexture(vdj::VideoEngine kind, void** texture, vdj::Vertex** vertices) override {
        if (texture) *texture = nullptr;
        if (vertices) *vertices = nullptr;
        if (texture == nullptr || kind != vdj::VideoEngine::DirectX11 || deckView == nullptr ||
            std::this_thread::get_id() != renderThread.load())
            return vdj::kNotImplemented;
        *texture = deckView;
        if (vertices) *vertices = deckVertices;
        return vdj::kOk;
    }

    bool createDevice(std::string* error) {
        const UINT flags = D3D11_CREATE_DEVICE_BGRA_SUPPORT;
        HRESULT hr = E_FAIL;
        for (D3D_DRIVER_TYPE type : {D3D_DRIVER_TYPE_HARDWARE, D3D_DRIVER_TYPE_WARP}) {
            hr = D3D11CreateDevice(nullptr, type, nullptr, flags, nullptr, 0, D3D11_SDK_VERSION, &device, nullptr,
                                   &context);
            if (SUCCEEDED(hr)) return true;
        }
        char text[96];
        std::snprintf(text, sizeof text, "no Direct3D 11 device (hr=0x%08lX)", static_cast<unsigned long>(hr));
        *error = text;
        return false;
    }

    bool createTargets(std::string* error) {
        D3D11_TEXTURE2D_DESC desc{};
        desc.Width = static_cast<UINT>(options.width);
        desc.Height = static_cast<UINT>(options.height);
        desc.MipLevels = 1;
        desc.ArraySize = 1;
        desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.Usage = D3D11_USAGE_DEFAULT;
        desc.BindFlags = D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE;
        D3D11_TEXTURE2D_DESC stagingDesc = desc;
        stagingDesc.Usage = D3D11_USAGE_STAGING;
        stagingDesc.BindFlags = 0;
        stagingDesc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
        if (FAILED(device->CreateTexture2D(&desc, nullptr, &target)) ||
            FAILED(device->CreateRenderTargetView(target, nullptr, &targetView)) ||
            FAILED(device->CreateTexture2D(&stagingDesc, nullptr, &staging))) {
            *error = "no render target of the output's size";
            return false;
        }

        Picture picture;
        if (!options.background.empty() &&
            !loadBackground(wic, options.background, options.width, options.height, &picture)) {
            std::fprintf(stderr, "qkhost: cannot read %s as a picture; drawing the test card\n",
                         options.background.c_str());
            picture = {};
        }
        if (picture.pixels.empty()) picture = makeTestCard(options.width, options.height);
        D3D11_TEXTURE2D_DESC deckDesc = desc;
        deckDesc.Usage = D3D11_USAGE_IMMUTABLE;
        deckDesc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
        const D3D11_SUBRESOURCE_DATA data{picture.pixels.data(), static_cast<UINT>(picture.width) * 4, 0};
        if (FAILED(device->CreateTexture2D(&deckDesc, &data, &deck)) ||
            FAILED(device->CreateShaderResourceView(deck, nullptr, &deckView))) {
            *error = "no deck picture texture";
            return false;
        }
        const float corners[4][4] = {{-1, 1, 0, 0}, {1, 1, 1, 0}, {-1, -1, 0, 1}, {1, -1, 1, 1}};
        for (int i = 0; i < 4; ++i)
            deckVertices[i] = {{corners[i][0], corners[i][1], 0}, 0xFFFFFFFFu, corners[i][2], corners[i][3]};

        ID3DBlob* vs = compileShader(kDeckVertexShader, "vs_4_0");
        ID3DBlob* ps = compileShader(kDeckPixelShader, "ps_4_0");
        const bool made = vs != nullptr && ps != nullptr &&
                          SUCCEEDED(device->CreateVertexShader(vs->GetBufferPointer(), vs->GetBufferSize(), nullptr,
                                                               &deckVertexShader)) &&
                          SUCCEEDED(device->CreatePixelShader(ps->GetBufferPointer(), ps->GetBufferSize(), nullptr,
                                                              &deckPixelShader));
        release(vs);
        release(ps);
        D3D11_SAMPLER_DESC sampler{};
        sampler.Filter = D3D11_FILTER_MIN_MAG_MIP_POINT;
        sampler.AddressU = sampler.AddressV = sampler.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
        sampler.MaxLOD = D3D11_FLOAT32_MAX;
        if (!made || FAILED(device->CreateSamplerState(&sampler, &deckSampler))) {
            *error = "no pipeline for the deck picture";
            return false;
        }
        return true;
    }

    // The host's own drawing, whose state stays bound when the effects draw:
    // an effect must put back what it changes.
    void drawBackground() {
        context->OMSetRenderTargets(1, &targetView, nullptr);
        const D3D11_VIEWPORT viewport{0, 0, static_cast<FLOAT>(options.width), static_cast<FLOAT>(options.height),
                                      0, 1};
        context->RSSetViewports(1, &viewport);
        context->IASetInputLayout(nullptr);
        context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
        context->VSSetShader(deckVertexShader, nullptr, 0);
        context->PSSetShader(deckPixelShader, nullptr, 0);
        context->PSSetShaderResources(0, 1, &deckView);
        context->PSSetSamplers(0, 1, &deckSampler);
        context->OMSetBlendState(nullptr, nullptr, 0xFFFFFFFFu);
        context->Draw(4, 0);
    }

    void capture(int frame) {
        context->CopyResource(staging, target);
        D3D11_MAPPED_SUBRESOURCE mapped{};
        if (FAILED(context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped))) return;
        // Opaque, as the video output is: whatever alpha the effects left is not part of the picture.
        const size_t row = static_cast<size_t>(options.width) * 4;
        std::vector<std::uint8_t> pixels(row * options.height);
        for (int y = 0; y < options.height; ++y)
            std::memcpy(pixels.data() + y * row, static_cast<const std::uint8_t*>(mapped.pData) + y * mapped.RowPitch,
                        row);
        context->Unmap(staging, 0);
        for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
        char name[64];
        std::snprintf(name, sizeof name, "/frame-%06d.png", frame);
        const std::string path = options.framesDir + name;
        if (savePng(wic, path, pixels.data(), options.width, options.height)) {
            std::lock_guard lock(capturedMutex);
            captured.push_back(path);
        } else {
            std::fprintf(stderr, "qkhost: cannot write %s\n", path.c_str());
        }
    }

    void destroyDevice() {
        if (context != nullptr) context->ClearState();
        release(deckSampler);
        release(deckPixelShader);
        release(deckVertexShader);
        release(deckView);
        release(deck);
        release(staging);
        release(targetView);
        release(target);
        release(context);
        release(device);
    }

    void run(std::promise<std::string>& started, std::atomic<int>& frames, std::atomic<int>& late) {
        renderThread = std::this_thread::get_id();
        const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wic));
        std::string error;
        if (!createDevice(&error) || !createTargets(&error)) {
            destroyDevice();
            release(wic);
            if (SUCCEEDED(com)) CoUninitialize();
            started.set_value(error);
            return;
        }
        // No preview window on Windows: the frames are what the tests look at.
        started.set_value("");
        FramePacing pacing(options);
        for (int frame = 0; !stopping; ++frame) {
            if (options.maxFrames > 0 && frame >= options.maxFrames) break;
            drawBackground();
            for (vdj::VideoFxPlugin* p : plugins) p->OnDraw();
            context->Flush();
            if (pacing.wanted(frame) && !options.framesDir.empty()) capture(frame);
            frames = frame + 1;
            if (pacing.waitForNext(frame)) ++late;
        }
        for (vdj::VideoFxPlugin* p : plugins) p->OnDeviceClose();
        destroyDevice();
        release(wic);
        if (SUCCEEDED(com)) CoUninitialize();
    }
};

RenderEngine::RenderEngine(RenderOptions options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
}

RenderEngine::~RenderEngine() {
    stop();
}

vdj::VideoHostServices* RenderEngine::services() {
    return impl_.get();
}

bool RenderEngine::start(std::vector<vdj::VideoFxPlugin*> plugins, std::string* error) {
    if (impl_->thread.joinable()) return true;
    impl_->plugins = std::move(plugins);
    std::promise<std::string> started;
    auto result = started.get_future();
    impl_->thread = std::thread([this, &started] { impl_->run(started, frames_, late_); });
    const std::string failure = result.get();
    if (!failure.empty()) {
        impl_->thread.join();
        if (error) *error = failure;
        return false;
    }
    return true;
}

void RenderEngine::stop() {
    impl_->stopping = true;
    if (impl_->thread.joinable()) impl_->thread.join();
}

void RenderEngine::wait() {
    if (impl_->thread.joinable()) impl_->thread.join();
}

std::vector<std::string> RenderEngine::capturedFrames() const {
    std::lock_guard lock(impl_->capturedMutex);
    return impl_->captured;
}

}  // namespace qkhost
