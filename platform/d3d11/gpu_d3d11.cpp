// The GPU seam on Direct3D 11, drawing with the device the host handed over,
// into whatever render target, viewport and rasterizer state it bound: the
// pipeline sets only what a quad needs and puts the host's values back after.
#include "platform/d3d11/gpu_d3d11.h"

#include <d3d11.h>
#include <d3dcompiler.h>

#include <array>
#include <cfloat>
#include <cstring>
#include <string>

#include "platform/gpu.h"

namespace qk::platform {
namespace {

constexpr const char* kVertexSource =
    "struct VSIn  { float2 pos:POSITION; float2 uv:TEXCOORD; float4 col:COLOR; };\n"
    "struct VSOut { float4 pos:SV_POSITION; float2 uv:TEXCOORD; float4 col:COLOR; };\n"
    "VSOut main(VSIn i){ VSOut o; o.pos=float4(i.pos,0,1); o.uv=i.uv; o.col=i.col; return o; }\n";
constexpr const char* kSolidSource =
    "struct VSOut { float4 pos:SV_POSITION; float2 uv:TEXCOORD; float4 col:COLOR; };\n"
    "float4 main(VSOut i):SV_TARGET { return i.col; }\n";
constexpr const char* kTexturedSource =
    "Texture2D tex : register(t0); SamplerState smp : register(s0);\n"
    "struct VSOut { float4 pos:SV_POSITION; float2 uv:TEXCOORD; float4 col:COLOR; };\n"
    "float4 main(VSOut i):SV_TARGET { return tex.Sample(smp, i.uv) * i.col; }\n";

constexpr UINT kVertexBufferBytes = 128;
constexpr UINT kVertexStride = sizeof(QuadVertex);
constexpr UINT kClassInstanceRoom = 256;
constexpr UINT kAllSamples = 0xFFFFFFFFu;

template <typename T>
void release(T*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

// What drawQuad changes on the context, captured before the overlay draws.
// Every object is a counted reference the restore hands back.
struct SavedState {
    ID3D11InputLayout* inputLayout = nullptr;
    ID3D11Buffer* vertexBuffer = nullptr;
    UINT stride = 0, offset = 0;
    D3D11_PRIMITIVE_TOPOLOGY topology = D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED;
    ID3D11VertexShader* vertexShader = nullptr;
    std::array<ID3D11ClassInstance*, kClassInstanceRoom> vertexInstances{};
    UINT vertexInstanceCount = 0;
    ID3D11PixelShader* pixelShader = nullptr;
    std::array<ID3D11ClassInstance*, kClassInstanceRoom> pixelInstances{};
    UINT pixelInstanceCount = 0;
    ID3D11BlendState* blendState = nullptr;
    std::array<FLOAT, 4> blendFactor{};
    UINT sampleMask = kAllSamples;
    ID3D11ShaderResourceView* view = nullptr;
    ID3D11SamplerState* sampler = nullptr;

    void capture(ID3D11DeviceContext* context) {
        context->IAGetInputLayout(&inputLayout);
        context->IAGetVertexBuffers(0, 1, &vertexBuffer, &stride, &offset);
        context->IAGetPrimitiveTopology(&topology);
        vertexInstanceCount = kClassInstanceRoom;
        context->VSGetShader(&vertexShader, vertexInstances.data(), &vertexInstanceCount);
        pixelInstanceCount = kClassInstanceRoom;
        context->PSGetShader(&pixelShader, pixelInstances.data(), &pixelInstanceCount);
        context->OMGetBlendState(&blendState, blendFactor.data(), &sampleMask);
        context->PSGetShaderResources(0, 1, &view);
        context->PSGetSamplers(0, 1, &sampler);
    }

    void putBack(ID3D11DeviceContext* context) {
        context->IASetInputLayout(inputLayout);
        context->IASetVertexBuffers(0, 1, &vertexBuffer, &stride, &offset);
        context->IASetPrimitiveTopology(topology);
        context->VSSetShader(vertexShader, vertexInstances.data(), vertexInstanceCount);
        context->PSSetShader(pixelShader, pixelInstances.data(), pixelInstanceCount);
        context->OMSetBlendState(blendState, blendFactor.data(), sampleMask);
        context->PSSetShaderResources(0, 1, &view);
        context->PSSetSamplers(0, 1, &sampler);
        clear();
    }

    void clear() {
        release(inputLayout);
        release(vertexBuffer);
        release(vertexShader);
        for (UINT i = 0; i < vertexInstanceCount && i < kClassInstanceRoom; ++i) release(vertexInstances[i]);
        vertexInstanceCount = 0;
        release(pixelShader);
        for (UINT i = 0; i < pixelInstanceCount && i < kClassInstanceRoom; ++i) release(pixelInstances[i]);
        pixelInstanceCount = 0;
        release(blendState);
        release(view);
        release(sampler);
    }
};

// The compiler's text for a failure line: its error blob is not terminated,
// so its size says where the text ends.
std::string errorText(ID3DBlob* errors) {
    if (errors == nullptr || errors->GetBufferSize() == 0) return "?";
    std::string text(static_cast<const char*>(errors->GetBufferPointer()), errors->GetBufferSize());
    while (!text.empty() && (text.back() == '\0' || text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text.empty() ? "?" : text;
}

bool compile(const char* source, const char* target, ID3DBlob** code, std::string* failure) {
    ID3DBlob* errors = nullptr;
    const HRESULT hr =
        D3DCompile(source, std::strlen(source), nullptr, nullptr, nullptr, "main", target, 0, 0, code, &errors);
    if (FAILED(hr) || *code == nullptr) {
        *failure = std::string("shader ") + target + " FAIL: " + errorText(errors);
        release(errors);
        release(*code);
        return false;
    }
    release(errors);
    return true;
}

class D3d11Gpu final : public Gpu {
public:
    explicit D3d11Gpu(ShaderSources sources) : sources_(sources) {}
    // COM objects may be released on any thread, with or without the device at
    // hand: each holds its own reference to the device it was made on.
    ~D3d11Gpu() override {
        saved_.clear();
        release(context_);
        releasePipeline();
    }

    void useDevice(const void* device) override { current_ = static_cast<ID3D11Device*>(const_cast<void*>(device)); }

    bool buildPipeline(std::string* failure) override {
        releasePipeline();
        device_ = current_;
        if (device_ == nullptr) return fail(failure, "shader create FAIL");

        ID3DBlob *vsCode = nullptr, *solidCode = nullptr, *texturedCode = nullptr;
        const bool compiled = compile(sources_.vertex, "vs_4_0", &vsCode, failure) &&
                              compile(sources_.solid, "ps_4_0", &solidCode, failure) &&
                              compile(sources_.textured, "ps_4_0", &texturedCode, failure);
        const bool built = compiled && createObjects(vsCode, solidCode, texturedCode, failure);
        release(vsCode);
        release(solidCode);
        release(texturedCode);
        if (!built) return fail(failure, nullptr);
        return true;
    }

    void releasePipeline() override {
        release(vertexShader_);
        release(solidPixelShader_);
        release(texturedPixelShader_);
        release(inputLayout_);
        release(vertexBuffer_);
        release(blendState_);
        release(samplerState_);
        device_ = nullptr;
    }

    void saveState() override {
        saved_.clear();
        release(context_);
        if (current_ == nullptr) return;
        current_->GetImmediateContext(&context_);
        if (context_ != nullptr) saved_.capture(context_);
    }

    void restoreState() override {
        if (context_ != nullptr) saved_.putBack(context_);
        saved_.clear();
        release(context_);
    }

    void drawQuad(float outW, float outH, float x, float y, float w, float h, const GpuTexture* texture,
                  Rgba color) override {
        if (vertexBuffer_ == nullptr || current_ != device_ || outW <= 0 || outH <= 0) return;
        // Between saveState and restoreState the context is held; a quad drawn
        // outside them takes it for itself.
        ID3D11DeviceContext* context = context_;
        if (context == nullptr) current_->GetImmediateContext(&context);
        if (context == nullptr) return;
        D3D11_MAPPED_SUBRESOURCE mapped{};
        if (SUCCEEDED(context->Map(vertexBuffer_, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped))) {
            const auto vertices = quadVertices(outW, outH, x, y, w, h, color);
            std::memcpy(mapped.pData, vertices.data(), sizeof vertices);
            context->Unmap(vertexBuffer_, 0);
            const UINT offset = 0;
            context->IASetInputLayout(inputLayout_);
            context->IASetVertexBuffers(0, 1, &vertexBuffer_, &kVertexStride, &offset);
            context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
            context->VSSetShader(vertexShader_, nullptr, 0);
            if (texture != nullptr && texture->usable()) {
                auto* view = reinterpret_cast<ID3D11ShaderResourceView*>(texture->handle);
                context->PSSetShader(texturedPixelShader_, nullptr, 0);
                context->PSSetShaderResources(0, 1, &view);
                context->PSSetSamplers(0, 1, &samplerState_);
            } else {
                context->PSSetShader(solidPixelShader_, nullptr, 0);
            }
            const FLOAT factor[4] = {0, 0, 0, 0};
            context->OMSetBlendState(blendState_, factor, kAllSamples);
            context->Draw(4, 0);
        }
        if (context != context_) context->Release();
    }

    GpuTexture makeTextureFromBgra(const std::uint8_t* pixels, std::int32_t width, std::int32_t height) override {
        if (pixels == nullptr || width < 1 || height < 1 || current_ == nullptr) return {};
        D3D11_TEXTURE2D_DESC desc{};
        desc.Width = static_cast<UINT>(width);
        desc.Height = static_cast<UINT>(height);
        desc.MipLevels = 1;
        desc.ArraySize = 1;
        desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.Usage = D3D11_USAGE_IMMUTABLE;
        desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
        D3D11_SUBRESOURCE_DATA data{};
        data.pSysMem = pixels;
        data.SysMemPitch = static_cast<UINT>(width) * 4;
        ID3D11Texture2D* texture = nullptr;
        if (FAILED(current_->CreateTexture2D(&desc, &data, &texture)) || texture == nullptr) return {};
        // The view keeps its texture alive: the view alone is the handle.
        ID3D11ShaderResourceView* view = nullptr;
        const HRESULT hr = current_->CreateShaderResourceView(texture, nullptr, &view);
        texture->Release();
        if (FAILED(hr) || view == nullptr) return {};
        return {reinterpret_cast<std::uintptr_t>(view), width, height};
    }

    void releaseTexture(GpuTexture& texture) override {
        if (texture.usable()) reinterpret_cast<ID3D11ShaderResourceView*>(texture.handle)->Release();
        texture = {};
    }

private:
    bool createObjects(ID3DBlob* vsCode, ID3DBlob* solidCode, ID3DBlob* texturedCode, std::string* failure) {
        if (FAILED(device_->CreateVertexShader(vsCode->GetBufferPointer(), vsCode->GetBufferSize(), nullptr,
                                               &vertexShader_)) ||
            FAILED(device_->CreatePixelShader(solidCode->GetBufferPointer(), solidCode->GetBufferSize(), nullptr,
                                              &solidPixelShader_)) ||
            FAILED(device_->CreatePixelShader(texturedCode->GetBufferPointer(), texturedCode->GetBufferSize(), nullptr,
                                              &texturedPixelShader_))) {
            *failure = "shader create FAIL";
            return false;
        }

        const D3D11_INPUT_ELEMENT_DESC elements[] = {
            {"POSITION", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
            {"TEXCOORD", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 8, D3D11_INPUT_PER_VERTEX_DATA, 0},
            {"COLOR", 0, DXGI_FORMAT_R32G32B32A32_FLOAT, 0, 16, D3D11_INPUT_PER_VERTEX_DATA, 0},
        };
        if (FAILED(device_->CreateInputLayout(elements, 3, vsCode->GetBufferPointer(), vsCode->GetBufferSize(),
                                              &inputLayout_))) {
            *failure = "input layout FAIL";
            return false;
        }

        D3D11_BUFFER_DESC buffer{};
        buffer.ByteWidth = kVertexBufferBytes;
        buffer.Usage = D3D11_USAGE_DYNAMIC;
        buffer.BindFlags = D3D11_BIND_VERTEX_BUFFER;
        buffer.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
        if (FAILED(device_->CreateBuffer(&buffer, nullptr, &vertexBuffer_))) {
            *failure = "vbuf FAIL";
            return false;
        }

        // Premultiplied alpha: source times one, plus destination times the
        // source's remaining transparency, for colour and alpha alike.
        D3D11_BLEND_DESC blend{};
        blend.AlphaToCoverageEnable = FALSE;
        blend.IndependentBlendEnable = FALSE;
        D3D11_RENDER_TARGET_BLEND_DESC& target = blend.RenderTarget[0];
        target.BlendEnable = TRUE;
        target.SrcBlend = target.SrcBlendAlpha = D3D11_BLEND_ONE;
        target.DestBlend = target.DestBlendAlpha = D3D11_BLEND_INV_SRC_ALPHA;
        target.BlendOp = target.BlendOpAlpha = D3D11_BLEND_OP_ADD;
        target.RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_ALL;
        if (FAILED(device_->CreateBlendState(&blend, &blendState_))) {
            *failure = "blend FAIL";
            return false;
        }

        D3D11_SAMPLER_DESC sampler{};
        sampler.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
        sampler.AddressU = sampler.AddressV = sampler.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
        sampler.MipLODBias = 0;
        sampler.MaxAnisotropy = 0;
        sampler.ComparisonFunc = static_cast<D3D11_COMPARISON_FUNC>(0);
        sampler.MinLOD = 0;
        sampler.MaxLOD = FLT_MAX;
        if (FAILED(device_->CreateSamplerState(&sampler, &samplerState_))) {
            *failure = "sampler FAIL";
            return false;
        }
        return true;
    }

    bool fail(std::string* failure, const char* line) {
        if (line != nullptr) *failure = line;
        releasePipeline();
        return false;
    }

    ShaderSources sources_;
    ID3D11Device* device_ = nullptr;          // the device the pipeline was built for; no reference held
    ID3D11Device* current_ = nullptr;         // the device at hand for the calls now made; the host's
    ID3D11DeviceContext* context_ = nullptr;  // held from saveState to restoreState
    ID3D11VertexShader* vertexShader_ = nullptr;
    ID3D11PixelShader* solidPixelShader_ = nullptr;
    ID3D11PixelShader* texturedPixelShader_ = nullptr;
    ID3D11InputLayout* inputLayout_ = nullptr;
    ID3D11Buffer* vertexBuffer_ = nullptr;
    ID3D11BlendState* blendState_ = nullptr;
    ID3D11SamplerState* samplerState_ = nullptr;
    SavedState saved_;
};

}  // namespace

ShaderSources defaultShaderSources() {
    return {kVertexSource, kSolidSource, kTexturedSource};
}

std::unique_ptr<Gpu> createD3d11Gpu(ShaderSources sources) {
    return std::make_unique<D3d11Gpu>(sources);
}

std::unique_ptr<Gpu> Gpu::create() {
    return createD3d11Gpu(defaultShaderSources());
}

}  // namespace qk::platform
