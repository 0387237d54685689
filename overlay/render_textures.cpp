#include "overlay/render_textures.h"

namespace qk::overlay {
namespace {

// The backend releases; the member is left empty, size included, whatever it did.
void drop(platform::Gpu& gpu, GpuTexture& texture) {
    if (texture.usable()) gpu.releaseTexture(texture);
    texture = {};
}

void makeIfMissing(platform::Gpu& gpu, GpuTexture& texture, bool& failed, const BgraImage& image, const LogFile& log) {
    if (texture.usable() || failed || !image.valid()) return;
    texture = gpu.makeTextureFromBgra(image.pixels.data(), image.width, image.height);
    if (texture.usable()) return;
    failed = true;
    log.logLine("makeTextureFromBGRA FAIL %dx%d", image.width, image.height);
}

}  // namespace

void PictureTextures::release(platform::Gpu& gpu) {
    for (GpuTexture& t : textures) drop(gpu, t);
    textures.clear();
    failed.clear();
}

const GpuTexture& PictureTextures::get(platform::Gpu& gpu, const std::vector<BgraImage>& images, std::size_t i,
                                       const LogFile& log) {
    if (textures.size() != images.size()) {
        for (std::size_t k = images.size(); k < textures.size(); ++k) drop(gpu, textures[k]);
        textures.resize(images.size());
        failed.resize(images.size());
    }
    static const GpuTexture none;
    if (i >= images.size()) return none;
    bool slotFailed = failed[i];
    makeIfMissing(gpu, textures[i], slotFailed, images[i], log);
    failed[i] = slotFailed;
    return textures[i];
}

void RenderTextures::refreshAssets(platform::Gpu& gpu, OverlayState& state, const LogFile& log) {
    if (state.assetsDirty.exchange(false)) {
        drop(gpu, bgTexture);
        drop(gpu, logoTexture);
        bgFailed = logoFailed = false;
    }
    if (bgTexture.usable() && logoTexture.usable()) return;
    std::lock_guard lock(state.imageMutex);
    makeIfMissing(gpu, bgTexture, bgFailed, state.bgImage, log);
    makeIfMissing(gpu, logoTexture, logoFailed, state.logoImage, log);
}

bool RenderTextures::takeSlideChange(platform::Gpu& gpu, OverlayState& state) {
    if (!state.slidesDirty.exchange(false)) return false;
    slideTextures.release(gpu);
    return true;
}

bool RenderTextures::takeDanceChange(platform::Gpu& gpu, OverlayState& state) {
    if (!state.gfxDirty.exchange(false)) return false;
    danceTextures.release(gpu);
    return true;
}

void RenderTextures::releaseAll(platform::Gpu& gpu) {
    for (GpuTexture* t : {&tickerTexture, &idleTexture, &bgTexture, &logoTexture, &danceBannerTexture}) drop(gpu, *t);
    bgFailed = logoFailed = false;
    slideTextures.release(gpu);
    danceTextures.release(gpu);
}

}  // namespace qk::overlay
