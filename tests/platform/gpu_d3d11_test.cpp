// The Direct3D 11 backend on a device made as the host makes its own (BGRA
// support on), drawing into a 1920x1080 BGRA render target that is read back
// through a staging texture: exact colours, premultiplied blending, textures the
// right way up, the host's context state given back item by item, and shader
// failures reported with the compiler's text.
#include "platform/d3d11/gpu_d3d11.h"

#include <d3d11.h>
#include <d3dcompiler.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/d3d11_context_state.h"

namespace {

using qk::platform::Gpu;
using qk::platform::GpuTexture;
using Pixel = std::array<int, 4>;  // red, green, blue, alpha

constexpr int kW = 1920, kH = 1080;

template <typename T>
void release(T*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

// How many references an object has, asked without changing it.
ULONG references(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

ID3DBlob* compileOrNull(const char* source, const char* target) {
    ID3DBlob *code = nullptr, *errors = nullptr;
    D3DCompile(source, std::strlen(source), nullptr, nullptr, nullptr, "main", target, 0, 0, &code, &errors);
    release(errors);
    return code;
}

class D3d11GpuTest : public testing::Test {
protected:
    void SetUp() override {
        const UINT flags = D3D11_CREATE_DEVICE_BGRA_SUPPORT;
        for (D3D_DRIVER_TYPE type : {D3D_DRIVER_TYPE_HARDWARE, D3D_DRIVER_TYPE_WARP}) {
            if (SUCCEEDED(D3D11CreateDevice(nullptr, type, nullptr, flags, nullptr, 0, D3D11_SDK_VERSION, &device_,
                                            nullptr, &context_)))
                break;
        }
        ASSERT_NE(device_, nullptr) << "no Direct3D 11 device (is there a display?)";
        D3D11_TEXTURE2D_DESC desc{};
        desc.Width = kW;
        desc.Height = kH;
        desc.MipLevels = 1;
        desc.ArraySize = 1;
        desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.Usage = D3D11_USAGE_DEFAULT;
        desc.BindFlags = D3D11_BIND_RENDER_TARGET;
        ASSERT_HRESULT_SUCCEEDED(device_->CreateTexture2D(&desc, nullptr, &target_));
        ASSERT_HRESULT_SUCCEEDED(device_->CreateRenderTargetView(target_, nullptr, &targetView_));
        desc.Usage = D3D11_USAGE_STAGING;
        desc.BindFlags = 0;
        desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
        ASSERT_HRESULT_SUCCEEDED(device_->CreateTexture2D(&desc, nullptr, &staging_));
        context_->OMSetRenderTargets(1, &targetView_, nullptr);
        const D3D11_VIEWPORT viewport{0, 0, kW, kH, 0, 1};
        context_->RSSetViewports(1, &viewport);
        const FLOAT black[4] = {0, 0, 0, 1};
        context_->ClearRenderTargetView(targetView_, black);
    }

    void TearDown() override {
        release(staging_);
        release(targetView_);
        release(target_);
        release(context_);
        release(device_);
    }

    std::unique_ptr<Gpu> readyGpu() {
        auto gpu = Gpu::create();
        gpu->useDevice(device_);
        std::string failure;
        EXPECT_TRUE(gpu->buildPipeline(&failure)) << failure;
        return gpu;
    }

    // Red, green, blue, alpha of the target's pixel at (x, y), y down.
    Pixel pixelAt(int x, int y) {
        context_->CopyResource(staging_, target_);
        D3D11_MAPPED_SUBRESOURCE mapped{};
        if (FAILED(context_->Map(staging_, 0, D3D11_MAP_READ, 0, &mapped))) return {-1, -1, -1, -1};
        const auto* p = static_cast<const std::uint8_t*>(mapped.pData) + static_cast<size_t>(y) * mapped.RowPitch +
                        static_cast<size_t>(x) * 4;
        const Pixel out{p[2], p[1], p[0], p[3]};
        context_->Unmap(staging_, 0);
        return out;
    }

    ID3D11Device* device_ = nullptr;
    ID3D11DeviceContext* context_ = nullptr;
    ID3D11Texture2D* target_ = nullptr;
    ID3D11Texture2D* staging_ = nullptr;
    ID3D11RenderTargetView* targetView_ = nullptr;
};

TEST_F(D3d11GpuTest, SolidQuadsLandWhereAndAsTheySayBlendedPremultiplied) {
    struct Probe {
        int x, y;
        Pixel expected;
    };
    struct Step {
        const char* what;
        float x, y, w, h;
        qk::platform::Rgba color;
        std::vector<Probe> probes;
    };
    const Pixel base{51, 102, 153, 255};
    const std::vector<Step> steps = {
        {"the whole output", 0, 0, kW, kH, {0.2f, 0.4f, 0.6f, 1}, {{0, 0, base}, {kW - 1, kH - 1, base}}},
        // Half-transparent red, premultiplied (0.5, 0, 0, 0.5), over the lower
        // right quarter only: x from 960, y from 540.
        {"half red, lower right quarter",
         kW / 2.0f,
         kH / 2.0f,
         kW / 2.0f,
         kH / 2.0f,
         {0.5f, 0, 0, 0.5f},
         {{960, 540, {128 + 26, 51, 77, 255}},
          {kW - 1, kH - 1, {154, 51, 77, 255}},
          {959, 540, base},
          {960, 539, base}}},
        {"a clear quad", 0, 0, kW, kH, {0, 0, 0, 0}, {{0, 0, base}, {1500, 900, {154, 51, 77, 255}}}},
        {"a small opaque quad in pixels",
         100,
         200,
         10,
         20,
         {0, 1, 0, 1},
         {{100, 200, {0, 255, 0, 255}}, {109, 219, {0, 255, 0, 255}}, {110, 200, base}, {100, 220, base}}},
    };
    auto gpu = readyGpu();
    gpu->saveState();
    for (const Step& step : steps) {
        gpu->drawQuad(kW, kH, step.x, step.y, step.w, step.h, nullptr, step.color);
        for (const Probe& p : step.probes) {
            const Pixel got = pixelAt(p.x, p.y);
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(got[c], p.expected[c], 1) << step.what << " at " << p.x << "," << p.y << " channel " << c;
        }
    }
    gpu->restoreState();
}

TEST_F(D3d11GpuTest, TexturesShowTheirOwnPremultipliedAlphaTheRightWayUp) {
    auto gpu = readyGpu();
    gpu->saveState();
    // Two rows, BGRA: the top row opaque blue, the bottom row half-transparent white.
    const std::uint8_t pixels[] = {255, 0, 0, 255, 255, 0, 0, 255, 128, 128, 128, 128, 128, 128, 128, 128};
    GpuTexture texture = gpu->makeTextureFromBgra(pixels, 2, 2);
    ASSERT_TRUE(texture.usable());
    EXPECT_EQ(texture.width, 2);
    EXPECT_EQ(texture.height, 2);
    gpu->drawQuad(kW, kH, 0, 0, kW, kH, &texture, {1, 1, 1, 1});
    EXPECT_EQ(pixelAt(kW / 2, 2), (Pixel{0, 0, 255, 255}));
    const Pixel lower = pixelAt(kW / 2, kH - 2);  // white at half over black
    EXPECT_NEAR(lower[0], 128, 1);
    EXPECT_NEAR(lower[2], 128, 1);
    EXPECT_EQ(lower[3], 255);
    // Linear filtering between the rows: the middle is a mix of both.
    const Pixel middle = pixelAt(kW / 2, kH / 2);
    EXPECT_GT(middle[2], 128);
    EXPECT_GT(middle[0], 30);
    // At opacity 0.5 the texture's premultiplied colour is halved over what is there.
    gpu->drawQuad(kW, kH, 0, 0, kW, kH, nullptr, {0, 0, 0, 1});
    gpu->drawQuad(kW, kH, 0, 0, kW, kH, &texture, {0.5f, 0.5f, 0.5f, 0.5f});
    EXPECT_NEAR(pixelAt(10, 2)[2], 128, 1);
    gpu->restoreState();

    gpu->releaseTexture(texture);
    EXPECT_FALSE(texture.usable());
    EXPECT_FALSE(gpu->makeTextureFromBgra(pixels, 0, 2).usable());
    EXPECT_FALSE(gpu->makeTextureFromBgra(nullptr, 2, 2).usable());
    EXPECT_FALSE(gpu->makeTextureFromBgra(pixels, 2, 1 << 20).usable()) << "beyond the device's texture size";
}

TEST_F(D3d11GpuTest, TheHostsContextStateIsGivenBackItemByItem) {
    // The host's own objects, bound before the overlay draws.
    ID3DBlob* vsCode = compileOrNull("float4 main(float4 p:POSITION):SV_POSITION { return p; }\n", "vs_4_0");
    ID3DBlob* psCode = compileOrNull("float4 main():SV_TARGET { return float4(1,0,1,1); }\n", "ps_4_0");
    ASSERT_NE(vsCode, nullptr);
    ASSERT_NE(psCode, nullptr);
    ID3D11VertexShader* vs = nullptr;
    ID3D11PixelShader* ps = nullptr;
    ID3D11InputLayout* layout = nullptr;
    ASSERT_HRESULT_SUCCEEDED(
        device_->CreateVertexShader(vsCode->GetBufferPointer(), vsCode->GetBufferSize(), nullptr, &vs));
    ASSERT_HRESULT_SUCCEEDED(
        device_->CreatePixelShader(psCode->GetBufferPointer(), psCode->GetBufferSize(), nullptr, &ps));
    const D3D11_INPUT_ELEMENT_DESC element{
        "POSITION", 0, DXGI_FORMAT_R32G32B32A32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0};
    ASSERT_HRESULT_SUCCEEDED(
        device_->CreateInputLayout(&element, 1, vsCode->GetBufferPointer(), vsCode->GetBufferSize(), &layout));
    release(vsCode);
    release(psCode);
    D3D11_BUFFER_DESC bufferDesc{};
    bufferDesc.ByteWidth = 256;
    bufferDesc.Usage = D3D11_USAGE_DEFAULT;
    bufferDesc.BindFlags = D3D11_BIND_VERTEX_BUFFER;
    ID3D11Buffer* buffer = nullptr;
    ASSERT_HRESULT_SUCCEEDED(device_->CreateBuffer(&bufferDesc, nullptr, &buffer));
    D3D11_BLEND_DESC blendDesc{};
    blendDesc.RenderTarget[0].BlendEnable = TRUE;
    blendDesc.RenderTarget[0].SrcBlend = D3D11_BLEND_SRC_ALPHA;
    blendDesc.RenderTarget[0].DestBlend = D3D11_BLEND_ONE;
    blendDesc.RenderTarget[0].BlendOp = D3D11_BLEND_OP_SUBTRACT;
    blendDesc.RenderTarget[0].SrcBlendAlpha = D3D11_BLEND_ZERO;
    blendDesc.RenderTarget[0].DestBlendAlpha = D3D11_BLEND_DEST_ALPHA;
    blendDesc.RenderTarget[0].BlendOpAlpha = D3D11_BLEND_OP_MAX;
    blendDesc.RenderTarget[0].RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_RED;
    ID3D11BlendState* blend = nullptr;
    ASSERT_HRESULT_SUCCEEDED(device_->CreateBlendState(&blendDesc, &blend));
    D3D11_SAMPLER_DESC samplerDesc{};
    samplerDesc.Filter = D3D11_FILTER_MIN_MAG_MIP_POINT;
    samplerDesc.AddressU = samplerDesc.AddressV = samplerDesc.AddressW = D3D11_TEXTURE_ADDRESS_WRAP;
    samplerDesc.MaxLOD = D3D11_FLOAT32_MAX;
    ID3D11SamplerState* sampler = nullptr;
    ASSERT_HRESULT_SUCCEEDED(device_->CreateSamplerState(&samplerDesc, &sampler));

    auto gpu = readyGpu();
    const std::uint8_t pixel[] = {1, 2, 3, 255};
    GpuTexture hostTexture = gpu->makeTextureFromBgra(pixel, 1, 1);  // stands for a view of the host's
    auto* view = reinterpret_cast<ID3D11ShaderResourceView*>(hostTexture.handle);

    const UINT stride = 16, offset = 48;
    context_->IASetInputLayout(layout);
    context_->IASetVertexBuffers(0, 1, &buffer, &stride, &offset);
    context_->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_POINTLIST);
    context_->VSSetShader(vs, nullptr, 0);
    context_->PSSetShader(ps, nullptr, 0);
    const FLOAT factor[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    context_->OMSetBlendState(blend, factor, 0x0000000Fu);
    context_->PSSetShaderResources(0, 1, &view);
    context_->PSSetSamplers(0, 1, &sampler);

    const qktest::ContextState before = qktest::ContextState::of(context_);
    ASSERT_EQ(before.layout, layout);
    ASSERT_EQ(before.offset, offset);
    auto counts = [&] {
        return std::array<ULONG, 7>{references(layout), references(buffer), references(vs),     references(ps),
                                    references(blend),  references(view),   references(sampler)};
    };
    const auto countsBefore = counts();

    GpuTexture made = gpu->makeTextureFromBgra(pixel, 1, 1);
    gpu->saveState();
    gpu->drawQuad(kW, kH, 0, 0, 10, 10, nullptr, {1, 0, 0, 1});
    gpu->drawQuad(kW, kH, 10, 0, 10, 10, &made, {1, 1, 1, 1});
    EXPECT_FALSE(qktest::ContextState::of(context_) == before) << "the quads set the pipeline's own state";
    gpu->restoreState();

    const qktest::ContextState after = qktest::ContextState::of(context_);
    EXPECT_EQ(after.layout, before.layout);
    EXPECT_EQ(after.buffer, before.buffer);
    EXPECT_EQ(after.stride, before.stride);
    EXPECT_EQ(after.offset, before.offset);
    EXPECT_EQ(after.topology, before.topology);
    EXPECT_EQ(after.vs, before.vs);
    EXPECT_EQ(after.ps, before.ps);
    EXPECT_EQ(after.blend, before.blend);
    EXPECT_EQ(after.factor, before.factor);
    EXPECT_EQ(after.mask, before.mask);
    EXPECT_EQ(after.view, before.view);
    EXPECT_EQ(after.sampler, before.sampler);
    EXPECT_TRUE(after == before) << "render target, viewport or class instances changed";

    EXPECT_EQ(counts(), countsBefore) << "every reference the save took is given back";

    context_->ClearState();
    gpu->releaseTexture(made);
    gpu->releaseTexture(hostTexture);
    for (IUnknown* o : std::initializer_list<IUnknown*>{layout, buffer, vs, ps, blend, sampler}) o->Release();
}

TEST_F(D3d11GpuTest, ShaderFailuresCarryTheCompilersText) {
    struct Case {
        const char* what;
        qk::platform::ShaderSources sources;
        const char* prefix;
    };
    const auto good = qk::platform::defaultShaderSources();
    const Case cases[] = {
        {"vertex",
         {"float4 main():SV_POSITION { return undefinedThing; }\n", good.solid, good.textured},
         "shader vs_4_0 FAIL: "},
        {"solid", {good.vertex, "not hlsl", good.textured}, "shader ps_4_0 FAIL: "},
        {"textured",
         {good.vertex, good.solid, "float4 main():SV_TARGET { return nothingHere; }\n"},
         "shader ps_4_0 FAIL: "},
    };
    for (const Case& c : cases) {
        auto broken = qk::platform::createD3d11Gpu(c.sources);
        broken->useDevice(device_);
        std::string failure;
        EXPECT_FALSE(broken->buildPipeline(&failure)) << c.what;
        EXPECT_EQ(failure.rfind(c.prefix, 0), 0u) << c.what << ": " << failure;
        EXPECT_GT(failure.size(), std::strlen(c.prefix) + 2) << c.what << ": the compiler's text follows";
        EXPECT_EQ(failure.find('\0'), std::string::npos) << c.what;
        // Nothing is drawn with a pipeline that did not build.
        broken->drawQuad(kW, kH, 0, 0, kW, kH, nullptr, {1, 1, 1, 1});
        EXPECT_EQ(pixelAt(5, 5), (Pixel{0, 0, 0, 255})) << c.what;
    }
    auto noDevice = Gpu::create();
    std::string failure;
    EXPECT_FALSE(noDevice->buildPipeline(&failure));
    EXPECT_EQ(failure, "shader create FAIL");
}

TEST_F(D3d11GpuTest, EveryObjectGoesBackToTheDeviceWhateverThreadLetsItGo) {
    const ULONG start = references(device_);
    auto gpu = readyGpu();
    const std::uint8_t pixel[] = {1, 2, 3, 255};
    GpuTexture texture = gpu->makeTextureFromBgra(pixel, 1, 1);
    EXPECT_GT(references(device_), start) << "the pipeline's objects hold the device";
    // The overlay lets go without the device at hand (its destructor runs on the
    // host's control thread): the references are returned all the same.
    gpu->useDevice(nullptr);
    gpu->releaseTexture(texture);
    gpu->releasePipeline();
    EXPECT_EQ(references(device_), start);
    // And a rebuild for the same device works as the first build did.
    gpu->useDevice(device_);
    std::string failure;
    EXPECT_TRUE(gpu->buildPipeline(&failure)) << failure;
    gpu.reset();
    EXPECT_EQ(references(device_), start);
}

}  // namespace
