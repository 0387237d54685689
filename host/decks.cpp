#include "host/decks.h"

#include <algorithm>

namespace qkhost {

namespace {

// The transport word: bits 0-39 the frame (years of sound at any rate), bit 40
// playing, bits 41-63 the load it belongs to. The load number lets the audio
// thread tell a word from the song it holds from one meant for the next song.
constexpr int kFrameBits = 40;
constexpr std::uint64_t kFrameMask = (std::uint64_t{1} << kFrameBits) - 1;
constexpr std::uint64_t kPlaying = std::uint64_t{1} << kFrameBits;
constexpr int kGenerationShift = kFrameBits + 1;
constexpr std::uint32_t kGenerationMask = (1u << (64 - kGenerationShift)) - 1;

std::int64_t frameOf(std::uint64_t w) {
    return static_cast<std::int64_t>(w & kFrameMask);
}
bool isPlaying(std::uint64_t w) {
    return (w & kPlaying) != 0;
}
std::uint32_t generationOf(std::uint64_t w) {
    return static_cast<std::uint32_t>(w >> kGenerationShift);
}
std::uint64_t transport(std::uint32_t generation, bool playing, std::int64_t frame) {
    return (std::uint64_t{generation} << kGenerationShift) | (playing ? kPlaying : 0) |
           (static_cast<std::uint64_t>(frame) & kFrameMask);
}

}  // namespace

void Deck::publish(std::shared_ptr<Track> track) {
    generation_ = (generation_ + 1) & kGenerationMask;
    if (track) track->generation = generation_;
    if (track_) retired_.push_back(std::move(track_));
    track_ = std::move(track);
    // The song first, then the word: an audio block that sees one but not the
    // other finds the load numbers differ and leaves the deck out once.
    live_.store(track_.get());
    transport_.store(transport(generation_, false, 0));
    // Once live_ no longer points at a retired song, only a hazard set before that
    // store can still hold it (seq_cst orders the two sides).
    const Track* held = hazard_.load();
    std::erase_if(retired_, [held](const auto& t) { return t.get() != held; });
}

void Deck::load(std::unique_ptr<Track> track) {
    std::lock_guard lock(control_);
    publish(std::shared_ptr<Track>(std::move(track)));
}

void Deck::unload() {
    std::lock_guard lock(control_);
    publish(nullptr);
}

template <class Change>
void Deck::changeTransport(Change change) {
    std::uint64_t w = transport_.load();
    while (!transport_.compare_exchange_weak(w, change(w))) {
    }
    // Songs retired while the audio thread held them go as soon as it lets go.
    if (!retired_.empty()) {
        const Track* held = hazard_.load();
        std::erase_if(retired_, [held](const auto& t) { return t.get() != held; });
    }
}

void Deck::play() {
    std::lock_guard lock(control_);
    if (!track_) return;
    const std::int64_t end = track_->frames;
    changeTransport([end](std::uint64_t w) { return frameOf(w) < end ? w | kPlaying : w; });
}

void Deck::pause() {
    std::lock_guard lock(control_);
    changeTransport([](std::uint64_t w) { return w & ~kPlaying; });
}

void Deck::stop() {
    std::lock_guard lock(control_);
    changeTransport([](std::uint64_t w) { return transport(generationOf(w), false, 0); });
}

void Deck::playPause() {
    std::lock_guard lock(control_);
    if (!track_) return;
    const std::int64_t end = track_->frames;
    changeTransport([end](std::uint64_t w) {
        if (isPlaying(w)) return w & ~kPlaying;
        return frameOf(w) < end ? w | kPlaying : w;
    });
}

void Deck::setGain(float gain) {
    gain_.store(std::clamp(gain, 0.0f, 1.0f), std::memory_order_relaxed);
}

bool Deck::playing() const {
    std::lock_guard lock(control_);
    return track_ && isPlaying(transport_.load());
}

double Deck::position() const {
    std::lock_guard lock(control_);
    if (!track_ || track_->frames == 0) return 0;
    return static_cast<double>(frameOf(transport_.load())) / static_cast<double>(track_->frames);
}

double Deck::songLength() const {
    std::lock_guard lock(control_);
    if (!track_ || track_->rate <= 0) return 0;
    return static_cast<double>(track_->frames) / track_->rate;
}

std::shared_ptr<const Track> Deck::track() const {
    std::lock_guard lock(control_);
    return track_;
}

const Track* Deck::holdLive() {
    const Track* t = live_.load();
    for (;;) {
        hazard_.store(t);
        const Track* again = live_.load();
        if (again == t) return t;
        t = again;
    }
}

void Deck::mixInto(float* block, int frames) {
    std::uint64_t w = transport_.load();
    if (!isPlaying(w)) return;
    const Track* t = holdLive();
    if (t != nullptr && t->generation == generationOf(w)) {
        const std::int64_t from = frameOf(w);
        const std::int64_t count = std::clamp<std::int64_t>(t->frames - from, 0, frames);
        const float gain = gain_.load(std::memory_order_relaxed);
        const float* in = t->samples.data() + 2 * from;
        for (std::int64_t i = 0; i < 2 * count; ++i) block[i] += gain * in[i];
        const std::int64_t to = from + count;
        // A control call that changed the word meanwhile wins; this block then
        // simply sounded just before it.
        transport_.compare_exchange_strong(w, transport(generationOf(w), to < t->frames, to));
    }
    hazard_.store(nullptr);
}

}  // namespace qkhost
