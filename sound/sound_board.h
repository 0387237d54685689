// The worker's side of the sound board: tails "sound-inbox.jsonl", carries out its
// commands and keeps "sound-state.json" up to date. Runs on the worker thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "kit/json_access.h"
#include "kit/log.h"
#include "sound/sound_cache.h"
#include "sound/voices.h"

namespace qk::sound {

// The most inbox bytes one cycle reads; what was appended beyond them since
// the last cycle is skipped (and logged), so no burst can take the memory.
inline constexpr std::int64_t kMaxInboxBytesPerCycle = 1048576;

class SoundBoard {
public:
    // `rate` answers the effective rate at each use. Everything given by reference
    // must outlive the board.
    SoundBoard(Voices& voices, const LogFile& log, std::string inboxPath, std::string statePath,
               std::function<int()> rate, SoundCache::DecoderOpener open = &platform::AudioDecoder::open);

    // One cycle: the inbox's new lines, each command carried out, then the state
    // file if due. The first cycle only notes where the inbox ends.
    void runCycle();
    void handleCommand(const Json& command);
    void writeStateFile();

    std::int64_t inboxOffset() const { return inboxOffset_; }
    const SoundCache& cache() const { return cache_; }

private:
    void handleLines(std::string_view text);
    void play(const Json& command, const std::string& id);

    Voices& voices_;
    const LogFile& log_;
    std::string inboxPath_;
    std::string statePath_;
    std::function<int()> rate_;
    SoundCache cache_;
    std::int64_t inboxOffset_ = -1;
    std::string lastStateSignature_;
};

// A play command's path in the platform's form: the other slash becomes the separator.
std::string normaliseSoundPath(std::string path, char separator, char altSeparator);

}  // namespace qk::sound
