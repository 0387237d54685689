// The decks as the audio thread sees them: what a block receives, where the
// position goes, and a control thread changing songs under a mixing audio thread.
#include "host/decks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// A song whose frame f holds the value `base + f` on the left and its negation on
// the right, so that every sample tells where it came from.
std::unique_ptr<qkhost::Track> rampTrack(std::int64_t frames, float base = 0, std::string path = "ramp") {
    auto t = std::make_unique<qkhost::Track>();
    t->path = std::move(path);
    t->rate = 1000;
    t->frames = frames;
    for (std::int64_t f = 0; f < frames; ++f) {
        t->samples.push_back(base + static_cast<float>(f));
        t->samples.push_back(-(base + static_cast<float>(f)));
    }
    return t;
}

std::vector<float> mix(qkhost::Deck& deck, int frames, float fill = 0) {
    std::vector<float> block(static_cast<size_t>(frames) * 2, fill);
    deck.mixInto(block.data(), frames);
    return block;
}

TEST(Decks, APlayingDeckAddsItsSongAtItsGainAndStopsAtTheEnd) {
    qkhost::Deck deck;
    deck.load(rampTrack(10, 1));
    EXPECT_EQ(mix(deck, 4), std::vector<float>(8, 0.0f));  // loaded paused
    EXPECT_EQ(deck.songLength(), 0.01);

    deck.play();
    EXPECT_EQ(mix(deck, 4, 0.5f), (std::vector<float>{1.5f, -0.5f, 2.5f, -1.5f, 3.5f, -2.5f, 4.5f, -3.5f}));
    EXPECT_DOUBLE_EQ(deck.position(), 0.4);
    deck.setGain(0.5f);
    EXPECT_EQ(mix(deck, 2), (std::vector<float>{2.5f, -2.5f, 3.0f, -3.0f}));
    deck.setGain(7);  // clamped
    // Four frames left of ten: the end of the block stays as it was.
    EXPECT_EQ(mix(deck, 6, 0.25f), (std::vector<float>{7.25f, -6.75f, 8.25f, -7.75f, 9.25f, -8.75f, 10.25f, -9.75f,
                                                       0.25f, 0.25f, 0.25f, 0.25f}));
    EXPECT_FALSE(deck.playing());
    EXPECT_DOUBLE_EQ(deck.position(), 1.0);
    deck.play();  // at the end there is nothing to play
    EXPECT_FALSE(deck.playing());
    deck.playPause();
    EXPECT_FALSE(deck.playing());

    deck.stop();
    EXPECT_DOUBLE_EQ(deck.position(), 0.0);
    deck.play();
    EXPECT_EQ(mix(deck, 1)[0], 1.0f);
}

TEST(Decks, PauseKeepsThePlaceStopAndLoadGoBackToTheStart) {
    qkhost::Deck deck;
    deck.load(rampTrack(100));
    deck.play();
    mix(deck, 30);
    deck.pause();
    EXPECT_EQ(mix(deck, 10), std::vector<float>(20, 0.0f));
    EXPECT_DOUBLE_EQ(deck.position(), 0.3);
    deck.playPause();
    EXPECT_TRUE(deck.playing());
    EXPECT_EQ(mix(deck, 1)[0], 30.0f);

    deck.stop();
    EXPECT_FALSE(deck.playing());
    EXPECT_DOUBLE_EQ(deck.position(), 0.0);

    deck.play();
    mix(deck, 50);
    deck.load(rampTrack(20, 1000, "next"));
    EXPECT_FALSE(deck.playing());
    EXPECT_DOUBLE_EQ(deck.position(), 0.0);
    EXPECT_EQ(deck.track()->path, "next");
    deck.play();
    EXPECT_EQ(mix(deck, 1)[0], 1000.0f);

    deck.unload();
    EXPECT_FALSE(deck.playing());
    EXPECT_EQ(deck.track(), nullptr);
    deck.play();
    EXPECT_EQ(mix(deck, 4), std::vector<float>(8, 0.0f));
}

TEST(Decks, TwoDecksSumIntoTheBlock) {
    qkhost::Decks decks(1000);
    EXPECT_EQ(decks.deck(0), nullptr);
    EXPECT_EQ(decks.deck(3), nullptr);
    decks.deck(1)->load(rampTrack(8, 1));
    decks.deck(2)->load(rampTrack(8, 100));
    decks.deck(1)->play();
    decks.deck(2)->play();
    decks.deck(2)->setGain(0.5f);
    std::vector<float> block(4, 0.0f);
    decks.mixInto(block.data(), 2);
    EXPECT_EQ(block, (std::vector<float>{51.0f, -51.0f, 52.5f, -52.5f}));
}

// Songs come and go while the audio thread mixes: every block must come whole from
// one song at one gain (no torn hand-over), and no song may be freed while mixed
// (AddressSanitizer) or touched without order (ThreadSanitizer).
TEST(Decks, ControlCallsWhileTheAudioThreadMixes) {
    qkhost::Deck deck;
    std::atomic<bool> done{false};
    std::atomic<int> tornBlocks{0};
    std::atomic<int> soundingBlocks{0};
    std::thread audio([&] {
        std::vector<float> block(64 * 2);
        while (!done.load()) {
            std::fill(block.begin(), block.end(), 0.0f);
            deck.mixInto(block.data(), 64);
            if (block[0] != 0.0f) soundingBlocks.fetch_add(1);
            // Song k holds k on the left and -k on the right in every frame.
            for (size_t i = 2; i < block.size(); i += 2)
                if (block[i] != 0.0f && (block[i] != block[0] || block[i + 1] != -block[0])) {
                    tornBlocks.fetch_add(1);
                    break;
                }
        }
    });
    auto song = [](int k, std::int64_t frames) {
        auto t = std::make_unique<qkhost::Track>();
        t->rate = 1000;
        t->frames = frames;
        for (std::int64_t f = 0; f < frames; ++f) t->samples.insert(t->samples.end(), {float(k), -float(k)});
        return t;
    };
    for (int k = 1; k <= 400; ++k) {
        deck.load(song(k, 64 * (1 + k % 5)));
        deck.play();
        deck.setGain(k % 2 ? 1.0f : 0.5f);
        std::this_thread::yield();
        if (k % 7 == 0) deck.stop();
        if (k % 11 == 0) deck.unload();
        deck.playPause();
        (void)deck.position();
        (void)deck.playing();
    }
    // Let the audio thread go on a little with the last song.
    deck.load(song(401, 1 << 16));
    deck.play();
    while (soundingBlocks.load() == 0) std::this_thread::yield();
    done = true;
    audio.join();
    EXPECT_EQ(tornBlocks.load(), 0);
}

}  // namespace
