#include "overlay/state_poller.h"

#include <exception>
#include <limits>
#include <optional>
#include <utility>

#include "kit/file_read.h"

namespace qk::overlay {
namespace {

constexpr std::int32_t kNoVersion = std::numeric_limits<std::int32_t>::min();

// A picture file: read and parsed like audience.json; nothing when it is
// missing, unreadable or not JSON.
std::optional<Json> readJsonFile(const std::string& path) {
    const auto bytes = readWholeFile(path);
    if (!bytes) return std::nullopt;
    return parseJsonStrict(*bytes);
}

// Decodes every picture a list file names and hands the whole list to the render
// thread in one swap under imageMutex; the number of pictures now listed.
std::size_t replacePictureList(OverlayState& state, std::vector<BgraImage>& list, std::atomic<bool>& dirty,
                               platform::ImageDecoder& decoder, const std::string& path,
                               std::vector<std::string> (*readTexts)(const Json&), const LogFile& log,
                               const char* listName) {
    std::vector<BgraImage> pictures;
    if (const auto document = readJsonFile(path))
        pictures = decodePictureList(decoder, readTexts(*document), kMaxListPixels, log, listName);
    const std::size_t count = pictures.size();
    {
        std::lock_guard lock(state.imageMutex);
        list.swap(pictures);
    }
    dirty.exchange(true);
    return count;
}

const char* yesNo(bool b) {
    return b ? "yes" : "no";
}

}  // namespace

StatePoller::StatePoller(OverlayState& state, StateFilePaths paths, const LogFile& log, DecoderFactory makeDecoder,
                         std::chrono::milliseconds interval)
    : state_(state), paths_(std::move(paths)), log_(log), makeDecoder_(std::move(makeDecoder)), interval_(interval) {}

StatePoller::~StatePoller() {
    stop();
}

bool StatePoller::start() {
    if (thread_.joinable()) return true;
    stop_.store(false);
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::exception& e) {
        log_.logLine("poller thread failed to start: %s", e.what());
        return false;
    }
    return true;
}

void StatePoller::stop() {
    {
        // Raised under the sleep's mutex so that the wake-up cannot fall between
        // the poller's test of the flag and its wait.
        std::lock_guard lock(wakeMutex_);
        stop_.exchange(true);
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void StatePoller::run() {
    std::unique_ptr<platform::ImageDecoder> decoder;
    try {
        if (makeDecoder_) decoder = makeDecoder_();
    } catch (const std::exception&) {
        decoder.reset();
    }
    // The line keeps the wording these logs have always had, whatever the decoder.
    if (!decoder) log_.logLine("WIC factory unavailable - bg/logo images will not decode");
    while (!stop_.load()) {
        try {
            pollOnce(decoder.get());
        } catch (const std::exception& e) {
            // Most likely memory for a huge picture; the poller carries on with the next pass.
            log_.logLine("poller pass failed: %s", e.what());
        } catch (...) {
            log_.logLine("poller pass failed: %s", "unknown error");
        }
        std::unique_lock lock(wakeMutex_);
        wake_.wait_for(lock, interval_, [this] { return stop_.load(); });
    }
}

void StatePoller::pollOnce(platform::ImageDecoder* decoder) {
    pollAudience();

    std::int32_t assetsVer = -1;
    std::int32_t slidesVer = -1;
    std::optional<std::int32_t> gfxVer;
    if (const AudienceSnapshotPtr snapshot = state_.snapshot()) {
        assetsVer = snapshot->doc.assetsVersion();
        slidesVer = snapshot->doc.slidesVersion();
        gfxVer = snapshot->doc.danceVersion();
    }
    if (decoder == nullptr) return;
    if (assetsVer != lastAssetsVer_) pollAssets(*decoder, assetsVer);
    if (slidesVer != lastSlidesVer_) pollSlides(*decoder, slidesVer);
    if (gfxVer && *gfxVer != kNoVersion && *gfxVer != lastGfxVer_) pollDance(*decoder, *gfxVer);
}

void StatePoller::pollAudience() {
    auto bytes = readWholeFile(paths_.audience);
    if (!bytes) return;
    {
        std::lock_guard lock(state_.stateMutex);
        if (*bytes == state_.lastAudienceText) return;
    }
    auto parsed = parseJsonStrict(*bytes);
    if (!parsed || !parsed->is_object()) return;  // the previous document stays in force
    auto snapshot = std::make_shared<const AudienceSnapshot>(std::move(*parsed));
    {
        std::lock_guard lock(state_.stateMutex);
        state_.audienceState.swap(snapshot);
        state_.lastAudienceText.swap(*bytes);
    }
    state_.stateDirty.exchange(true);
    // The replaced document and text are freed here, outside the lock.
}

void StatePoller::pollAssets(platform::ImageDecoder& decoder, std::int32_t version) {
    lastAssetsVer_ = version;
    BgraImage bg;
    BgraImage logo;
    if (const auto document = readJsonFile(paths_.assets); document && document->is_object()) {
        const AssetTexts texts = readAssetTexts(*document);
        if (auto image = decodeDataUrlImage(&decoder, texts.bg)) bg = std::move(*image);
        if (auto image = decodeDataUrlImage(&decoder, texts.logo)) logo = std::move(*image);
    }
    const bool hasBg = bg.valid();
    const bool hasLogo = logo.valid();
    {
        std::lock_guard lock(state_.imageMutex);
        std::swap(state_.bgImage, bg);
        std::swap(state_.logoImage, logo);
    }
    state_.assetsDirty.exchange(true);
    log_.logLine("assets refreshed (ver=%ld) bg=%s logo=%s", static_cast<long>(version), yesNo(hasBg), yesNo(hasLogo));
}

void StatePoller::pollSlides(platform::ImageDecoder& decoder, std::int32_t version) {
    lastSlidesVer_ = version;
    const std::size_t count = replacePictureList(state_, state_.slideImages, state_.slidesDirty, decoder, paths_.slides,
                                                 readSlideTexts, log_, "slides");
    log_.logLine("slides refreshed (ver=%ld) count=%zu", static_cast<long>(version), count);
}

void StatePoller::pollDance(platform::ImageDecoder& decoder, std::int32_t version) {
    lastGfxVer_ = version;
    const std::size_t count = replacePictureList(state_, state_.danceImages, state_.gfxDirty, decoder, paths_.dance,
                                                 readDanceTexts, log_, "dance graphics");
    log_.logLine("dance graphics refreshed (ver=%ld) count=%zu", static_cast<long>(version), count);
}

}  // namespace qk::overlay
