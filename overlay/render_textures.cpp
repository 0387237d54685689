#include "overlay/render_textures.h"

namespace qk::overlay {
namespace {

// The backend releases; the member is left empty, size included, whatever it did.
void drop(platform::Gpu& gpu, GpuTexture& texture) {
    if (texture.usable()) gpu.releaseTexture(texture);
    texture = {};
}

void makeIfMissing(platform::Gpu& gpu, GpuTexture& texture, const BgraImage& image, const LogFile& log) {
    if (texture.usable() || !image.valid()) return;
    texture = gpu.makeTextureFromBgra(image.pixels.data(), image.width, image.height);
    if (!texture.usable()) log.logLine("makeTextureFromBGRA FAIL %dx%d", image.width, image.height);
}

void releaseList(platform::Gpu& gpu, std::vector<GpuTexture>& textures) {
    for (GpuTexture& t : textures) drop(gpu, t);
    textures.clear();
}

// Keeps one slot per image, then fills the empty slots.
void refreshList(platform::Gpu& gpu, std::vector<GpuTexture>& textures, const std::vector<BgraImage>& images,
                 const LogFile& log) {
    if (textures.size() != images.size()) {
        for (std::size_t i = images.size(); i < textures.size(); ++i) drop(gpu, textures[i]);
        textures.resize(images.size());
    }
    for (std::size_t i = 0; i < images.size(); ++i) makeIfMissing(gpu, textures[i], images[i], log);
}

}  // namespace

bool RenderTextures::refreshPictures(platform::Gpu& gpu, OverlayState& state, const LogFile& log) {
    if (state.assetsDirty.exchange(false)) {
        drop(gpu, bgTexture);
        drop(gpu, logoTexture);
    }
    const bool slidesChanged = state.slidesDirty.exchange(false);
    if (slidesChanged) releaseList(gpu, slideTextures);
    if (state.gfxDirty.exchange(false)) releaseList(gpu, danceTextures);

    std::lock_guard lock(state.imageMutex);
    makeIfMissing(gpu, bgTexture, state.bgImage, log);
    makeIfMissing(gpu, logoTexture, state.logoImage, log);
    refreshList(gpu, slideTextures, state.slideImages, log);
    refreshList(gpu, danceTextures, state.danceImages, log);
    return slidesChanged;
}

void RenderTextures::releaseAll(platform::Gpu& gpu) {
    for (GpuTexture* t : {&tickerTexture, &idleTexture, &bgTexture, &logoTexture, &danceBannerTexture}) drop(gpu, *t);
    releaseList(gpu, slideTextures);
    releaseList(gpu, danceTextures);
}

}  // namespace qk::overlay
