// The pieces of a Direct3D 11 device context's state that the overlay's drawing
// changes and must give back, plus the render target and viewport it must not
// touch, as the context reports them.
#pragma once

#include <d3d11.h>

#include <array>
#include <cstring>
#include <initializer_list>

namespace qktest {

struct ContextState {
    ID3D11InputLayout* layout = nullptr;
    ID3D11Buffer* buffer = nullptr;
    UINT stride = 0, offset = 0;
    D3D11_PRIMITIVE_TOPOLOGY topology{};
    ID3D11VertexShader* vs = nullptr;
    UINT vsInstances = 0;
    ID3D11PixelShader* ps = nullptr;
    UINT psInstances = 0;
    ID3D11BlendState* blend = nullptr;
    std::array<FLOAT, 4> factor{};
    UINT mask = 0;
    ID3D11ShaderResourceView* view = nullptr;
    ID3D11SamplerState* sampler = nullptr;
    ID3D11RenderTargetView* target = nullptr;
    UINT viewports = 0;
    D3D11_VIEWPORT viewport{};

    // The pointers are compared only: each reference taken is given back at once.
    static ContextState of(ID3D11DeviceContext* c) {
        ContextState s;
        c->IAGetInputLayout(&s.layout);
        c->IAGetVertexBuffers(0, 1, &s.buffer, &s.stride, &s.offset);
        c->IAGetPrimitiveTopology(&s.topology);
        std::array<ID3D11ClassInstance*, 256> instances{};
        s.vsInstances = 256;
        c->VSGetShader(&s.vs, instances.data(), &s.vsInstances);
        s.psInstances = 256;
        c->PSGetShader(&s.ps, instances.data(), &s.psInstances);
        c->OMGetBlendState(&s.blend, s.factor.data(), &s.mask);
        c->PSGetShaderResources(0, 1, &s.view);
        c->PSGetSamplers(0, 1, &s.sampler);
        c->OMGetRenderTargets(1, &s.target, nullptr);
        s.viewports = 1;
        c->RSGetViewports(&s.viewports, &s.viewport);
        for (IUnknown* o :
             std::initializer_list<IUnknown*>{s.layout, s.buffer, s.vs, s.ps, s.blend, s.view, s.sampler, s.target})
            if (o != nullptr) o->Release();
        return s;
    }

    bool operator==(const ContextState& o) const {
        return layout == o.layout && buffer == o.buffer && stride == o.stride && offset == o.offset &&
               topology == o.topology && vs == o.vs && vsInstances == o.vsInstances && ps == o.ps &&
               psInstances == o.psInstances && blend == o.blend && factor == o.factor && mask == o.mask &&
               view == o.view && sampler == o.sampler && target == o.target && viewports == o.viewports &&
               std::memcmp(&viewport, &o.viewport, sizeof viewport) == 0;
    }
};

}  // namespace qktest
