// The built QuorvaleOverlay.dll in qkhost's Direct3D 11 render thread (Mesa
// through Wine): the scenes the OpenGL display test draws, with the same
// expectations, and the host's device-context state the same after every OnDraw.
#include <d3d11.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "tests/overlay/display_scenes.h"
#include "tests/support/d3d11_context_state.h"
#include "tests/support/frame_picture.h"
#include "tests/support/temp_dir.h"

namespace {

using qktest::display::renderOnce;

using qktest::display::runScene;

TEST(DisplayModuleD3d11, TickerBarOverTheTestCard) {
    runScene(qktest::display::tickerScene(), qktest::display::expectTicker);
}

TEST(DisplayModuleD3d11, IdleScreenWithListAndQrCode) {
    runScene(qktest::display::idleScene(), [](const auto& f, const auto&) { qktest::display::expectIdle(f); });
}

TEST(DisplayModuleD3d11, HiddenOverlayLeavesTheHostsPictureAlone) {
    runScene(qktest::display::hiddenScene(), [](const auto& f, const auto&) { qktest::display::expectHidden(f); });
}

TEST(DisplayModuleD3d11, ALogoPictureSitsAtTheTopOfTheLeftThird) {
    runScene(qktest::display::logoScene(), [](const auto& f, const auto&) { qktest::display::expectLogo(f); });
}

// Binds state of the host's own on top of what its deck drawing left (a blend
// state with its factor and mask, a vertex buffer at an odd stride and offset,
// an input layout of none), then checks every item after the overlay's OnDraw.
class InHostState final : public qktest::display::AroundOverlay {
public:
    bool stateKept = true, referencesKept = true;
    int frames = 0;

    vdj::Result VDJ_API OnDraw() override {
        void* answer = nullptr;
        if (video->GetDevice(vdj::VideoEngine::DirectX11, &answer) != vdj::kOk || answer == nullptr) {
            ADD_FAILURE() << "no device";
            return 0;
        }
        auto* device = static_cast<ID3D11Device*>(answer);
        ID3D11DeviceContext* context = nullptr;
        device->GetImmediateContext(&context);
        if (blend_ == nullptr) makeObjects(device);
        const UINT stride = 24, offset = 72;
        context->IASetVertexBuffers(0, 1, &buffer_, &stride, &offset);
        const FLOAT factor[4] = {0.25f, 0.5f, 0.75f, 1};
        context->OMSetBlendState(blend_, factor, 0x00FF00FFu);
        const qktest::ContextState before = qktest::ContextState::of(context);
        const ULONG blendRefs = refs(blend_), bufferRefs = refs(buffer_);
        overlay->OnDraw();
        stateKept = stateKept && qktest::ContextState::of(context) == before;
        referencesKept = referencesKept && refs(blend_) == blendRefs && refs(buffer_) == bufferRefs;
        // The host's own blending is not meant for the next frame's deck picture.
        context->OMSetBlendState(nullptr, nullptr, 0xFFFFFFFFu);
        context->Release();
        ++frames;
        return 0;
    }

    vdj::Result VDJ_API OnDeviceClose() override {
        if (blend_ != nullptr) blend_->Release();
        if (buffer_ != nullptr) buffer_->Release();
        blend_ = nullptr;
        buffer_ = nullptr;
        return AroundOverlay::OnDeviceClose();
    }

private:
    static ULONG refs(IUnknown* o) {
        o->AddRef();
        return o->Release();
    }
    void makeObjects(ID3D11Device* device) {
        D3D11_BLEND_DESC blend{};
        blend.RenderTarget[0].BlendEnable = TRUE;
        blend.RenderTarget[0].SrcBlend = D3D11_BLEND_ONE;
        blend.RenderTarget[0].DestBlend = D3D11_BLEND_ZERO;
        blend.RenderTarget[0].BlendOp = D3D11_BLEND_OP_ADD;
        blend.RenderTarget[0].SrcBlendAlpha = D3D11_BLEND_ONE;
        blend.RenderTarget[0].DestBlendAlpha = D3D11_BLEND_ZERO;
        blend.RenderTarget[0].BlendOpAlpha = D3D11_BLEND_OP_ADD;
        blend.RenderTarget[0].RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_ALL;
        device->CreateBlendState(&blend, &blend_);
        D3D11_BUFFER_DESC buffer{};
        buffer.ByteWidth = 512;
        buffer.Usage = D3D11_USAGE_DEFAULT;
        buffer.BindFlags = D3D11_BIND_VERTEX_BUFFER;
        device->CreateBuffer(&buffer, nullptr, &buffer_);
    }
    ID3D11BlendState* blend_ = nullptr;
    ID3D11Buffer* buffer_ = nullptr;
};

TEST(DisplayModuleD3d11, TheHostsContextStateIsTheSameAfterEveryOnDraw) {
    InHostState around;
    runScene(qktest::display::tickerScene(), qktest::display::expectTicker, &around);
    EXPECT_GT(around.frames, 10);
    EXPECT_TRUE(around.stateKept);
    EXPECT_TRUE(around.referencesKept);
}

// The pictures in docs/ beside the OpenGL ones: run with QK_SCREENSHOT_DIR set
// (a Windows path) to write them there.
TEST(DisplayModuleD3d11, ScreenshotsAt1080p) {
    const char* dir = std::getenv("QK_SCREENSHOT_DIR");
    if (dir == nullptr) GTEST_SKIP() << "QK_SCREENSHOT_DIR not set";
    for (const auto& scene : {qktest::display::idleScreenshotScene(), qktest::display::tickerScreenshotScene()}) {
        qktest::TempDir home, frames;
        const std::string png = renderOnce(home, frames, scene.audience, scene.width, scene.height, scene.files);
        ASSERT_FALSE(png.empty());
        qktest::writeFile(std::string(dir) + "/" + scene.name + "-windows.png", qktest::readFile(png));
    }
}

}  // namespace
