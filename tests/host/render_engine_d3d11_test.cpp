// qkhost's render thread on Direct3D 11 (Mesa through Wine): a video effect draws
// over the deck picture with the device GetDevice hands over, and the captured
// PNG frames show both.
#include <d3d11.h>
#include <gtest/gtest.h>

#include "host/render_engine.h"
#include "tests/support/frame_picture.h"
#include "tests/support/temp_dir.h"

namespace {

// Copies a red square into the top-left 100x100 pixels of whatever render
// target the host bound, and asks the host for what a plug-in may ask.
class RedSquareEffect final : public vdj::VideoFxPlugin {
public:
    int draws = 0, closes = 0, deviceOk = 0, textureOk = 0;
    void VDJ_API Destroy() override {}
    vdj::Result VDJ_API OnDraw() override {
        ++draws;
        void* answer = nullptr;
        if (video->GetDevice(vdj::VideoEngine::DirectX11, &answer) != vdj::kOk || answer == nullptr) return 0;
        ++deviceOk;
        void* gl = reinterpret_cast<void*>(1);
        EXPECT_NE(video->GetDevice(vdj::VideoEngine::OpenGL, &gl), vdj::kOk);
        EXPECT_EQ(gl, nullptr);
        void* deck = nullptr;
        vdj::Vertex* corners = nullptr;
        if (video->GetTexture(vdj::VideoEngine::DirectX11, &deck, &corners) == vdj::kOk && deck != nullptr &&
            corners != nullptr && corners[0].position.x == -1 && corners[3].position.x == 1)
            ++textureOk;

        auto* device = static_cast<ID3D11Device*>(answer);
        ID3D11DeviceContext* context = nullptr;
        device->GetImmediateContext(&context);
        ID3D11RenderTargetView* view = nullptr;
        context->OMGetRenderTargets(1, &view, nullptr);
        if (view != nullptr) {
            ID3D11Resource* target = nullptr;
            view->GetResource(&target);
            if (red_ == nullptr) makeRed(device);
            const D3D11_BOX box{0, 0, 0, 100, 100, 1};
            context->CopySubresourceRegion(target, 0, 0, 0, 0, red_, 0, &box);
            target->Release();
            view->Release();
        }
        context->Release();
        return 0;
    }
    vdj::Result VDJ_API OnDeviceClose() override {
        ++closes;
        if (red_ != nullptr) red_->Release();
        red_ = nullptr;
        return 0;
    }

private:
    void makeRed(ID3D11Device* device) {
        std::vector<std::uint32_t> pixels(100 * 100, 0xFFFF0000u);  // BGRA in memory: opaque red
        D3D11_TEXTURE2D_DESC desc{};
        desc.Width = desc.Height = 100;
        desc.MipLevels = desc.ArraySize = 1;
        desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.Usage = D3D11_USAGE_IMMUTABLE;
        desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
        const D3D11_SUBRESOURCE_DATA data{pixels.data(), 400, 0};
        device->CreateTexture2D(&desc, &data, &red_);
    }
    ID3D11Texture2D* red_ = nullptr;
};

void runEngine(qkhost::RenderEngine& engine, RedSquareEffect& effect) {
    effect.video = engine.services();
    std::string error;
    ASSERT_TRUE(engine.start({&effect}, &error)) << error;
    engine.wait();
}

qkhost::RenderOptions smallOutput(const qktest::TempDir& frames, int width, int height, int maxFrames) {
    qkhost::RenderOptions options;
    options.width = width;
    options.height = height;
    options.fps = 100;
    options.framesDir = frames.path();
    options.maxFrames = maxFrames;
    return options;
}

TEST(RenderEngineD3d11, EffectsDrawOverTheDeckPictureAndFramesAreCaptured) {
    qktest::TempDir frames;
    auto options = smallOutput(frames, 320, 180, 3);
    options.captureEvery = 2;
    qkhost::RenderEngine engine(options);
    RedSquareEffect effect;
    runEngine(engine, effect);

    EXPECT_EQ(engine.framesDrawn(), 3);
    EXPECT_EQ(effect.draws, 3);
    EXPECT_EQ(effect.deviceOk, 3);
    EXPECT_EQ(effect.textureOk, 3);
    EXPECT_EQ(effect.closes, 1);
    // Off the render thread there is no device.
    void* device = reinterpret_cast<void*>(1);
    EXPECT_NE(engine.services()->GetDevice(vdj::VideoEngine::DirectX11, &device), vdj::kOk);
    EXPECT_EQ(device, nullptr);

    const auto captured = engine.capturedFrames();
    ASSERT_EQ(captured.size(), 2u);  // frames 0 and 2
    const qktest::FramePicture png(captured[0]);
    ASSERT_TRUE(png.ok()) << captured[0];
    EXPECT_EQ(png.width(), 320);
    EXPECT_EQ(png.height(), 180);
    EXPECT_EQ(png.count(0, 0, 100, 100, {255, 0, 0}, 0), 100 * 100) << "the effect, top-left, right way up";
    EXPECT_EQ(png.count(100, 0, 320, 180, {255, 0, 0}, 0), 0);
    // The test card elsewhere: its bars across the middle, the dark grid above.
    const qktest::Rgb bar = png.at(20 + 320 / 7 * 5, 90);  // the sixth bar is red-ish, 0.75
    EXPECT_NEAR(bar.r, 191, 2);
    EXPECT_NEAR(bar.g, 0, 2);
    EXPECT_NEAR(png.at(150, 30).r, 20, 3);
}

TEST(RenderEngineD3d11, AMissingBackgroundFallsBackToTheTestCard) {
    qktest::TempDir frames;
    auto options = smallOutput(frames, 64, 36, 1);
    options.background = frames.file("none.png");
    options.captureEvery = 1;
    qkhost::RenderEngine engine(options);
    RedSquareEffect effect;
    runEngine(engine, effect);
    ASSERT_EQ(engine.capturedFrames().size(), 1u);
    const qktest::FramePicture png(engine.capturedFrames()[0]);
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.width(), 64);
}

}  // namespace
