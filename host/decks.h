// The stand-in host's two audio decks. Control threads (the plug-ins' script
// commands, the run options) load, start and stop them; the audio thread adds the
// playing decks into the master output before the DSP plug-ins see it.
//
// Hand-over to the audio thread, without a lock: a deck's transport (playing or
// not, the frame it is at, and which load it belongs to) is one 64-bit atomic word
// that both sides change by compare-and-swap, and the loaded song is an immutable
// Track behind an atomic pointer protected by a hazard pointer. A try_lock that
// skips a block would be simpler, but a control thread preempted while holding the
// lock (two busy cores are enough) would then silence the decks for as long as it
// sleeps; with the word and the hazard pointer the audio thread never waits, never
// skips and never frees: a replaced song is freed by the next control call that
// finds the audio thread no longer holding it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/track.h"

namespace qkhost {

class Deck {
public:
    Deck() = default;
    Deck(const Deck&) = delete;
    Deck& operator=(const Deck&) = delete;

    // Control side: any thread; calls are serialized among themselves.
    void load(std::unique_ptr<Track> track);  // paused at its start
    void unload();
    void play();  // nothing on an empty deck or at the end of the song
    void pause();
    void stop();  // pause and back to the start
    void playPause();
    void setGain(float gain);  // 0..1, clamped

    bool playing() const;
    double position() const;                     // 0..1 of the song; 0 on an empty deck
    double songLength() const;                   // seconds; 0 on an empty deck
    std::shared_ptr<const Track> track() const;  // null on an empty deck

    // Audio thread: adds this deck's next `frames` frames at its gain into `block`
    // (interleaved stereo) when it plays, and stops it at the end of the song.
    void mixInto(float* block, int frames);

private:
    const Track* holdLive();
    template <class Change>
    void changeTransport(Change change);
    void publish(std::shared_ptr<Track> track);

    mutable std::mutex control_;                         // control calls only; never the audio thread
    std::shared_ptr<const Track> track_;                 // owned here; live_ points into it
    std::vector<std::shared_ptr<const Track>> retired_;  // replaced, maybe still mixed
    std::uint32_t generation_ = 0;

    std::atomic<std::uint64_t> transport_{0};
    std::atomic<const Track*> live_{nullptr};
    std::atomic<const Track*> hazard_{nullptr};  // what the audio thread is reading
    std::atomic<float> gain_{1.0f};
};

class Decks {
public:
    static constexpr int kCount = 2;

    explicit Decks(int rate) : rate_(rate) {}

    int rate() const { return rate_; }
    // Deck 1 or 2; null for any other number.
    Deck* deck(int number) { return number >= 1 && number <= kCount ? &decks_[number - 1] : nullptr; }

    // Audio thread: every playing deck added into `block`.
    void mixInto(float* block, int frames) {
        for (Deck& d : decks_) d.mixInto(block, frames);
    }

private:
    int rate_;
    Deck decks_[kCount];
};

}  // namespace qkhost
