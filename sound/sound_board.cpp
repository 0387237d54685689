#include "sound/sound_board.h"

#include <algorithm>
#include <memory>

#include "platform/clock.h"
#include "platform/files.h"
#include "sound/state_file.h"

namespace qk::sound {

std::string normaliseSoundPath(std::string path, char separator, char altSeparator) {
    if (altSeparator != '\0')
        for (char& c : path)
            if (c == altSeparator) c = separator;
    return path;
}

SoundBoard::SoundBoard(Voices& voices, const LogFile& log, std::string inboxPath, std::string statePath,
                       std::function<int()> rate, SoundCache::DecoderOpener open)
    : voices_(voices),
      log_(log),
      inboxPath_(std::move(inboxPath)),
      statePath_(std::move(statePath)),
      rate_(std::move(rate)),
      cache_(log, std::move(open)) {}

void SoundBoard::runCycle() {
    const std::int64_t size = platform::fileSize(inboxPath_).value_or(0);
    if (inboxOffset_ < 0) {
        inboxOffset_ = size;  // what was there before we started is history, never replayed
    } else if (size < inboxOffset_) {
        inboxOffset_ = size;  // truncated or replaced by a shorter file: start again at its end
    } else if (size > inboxOffset_) {
        const std::int64_t from = inboxOffset_;
        // Moved on before reading: bytes that cannot be read are skipped, not retried.
        inboxOffset_ = size;
        std::string text;
        const std::int64_t wanted = std::min(size - from, kMaxInboxBytesPerCycle);
        if (wanted < size - from)
            log_.logLine("inbox: %lld bytes past the %lld read per cycle skipped",
                         static_cast<long long>(size - from - wanted), static_cast<long long>(wanted));
        if (auto file = platform::ReadableFile::open(inboxPath_); file && file->seek(from)) {
            text.resize(static_cast<std::size_t>(wanted));
            const std::int64_t got = file->read(text.data(), text.size());
            text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        }
        handleLines(text);
    }
    writeStateFile();
}

void SoundBoard::handleLines(std::string_view text) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty()) continue;
        // A line caught half-written fails to parse here, and so does its rest in
        // the next cycle: both are dropped, which is all a reader can do safely.
        if (const auto command = parseJsonStrict(line); command && command->is_object()) handleCommand(*command);
    }
}

void SoundBoard::handleCommand(const Json& command) {
    const std::string op = getString(command, "op");
    const std::string id = getString(command, "id");
    if (op == "play") {
        play(command, id);
    } else if (op == "stop") {
        voices_.fadeMatching(id);
        log_.logLine("stop %s", id.c_str());
    } else if (op == "stop_all") {
        voices_.fadeAll();
        log_.logLine("stop all");
    }
}

void SoundBoard::play(const Json& command, const std::string& id) {
    std::string path = getString(command, "path");
    if (path.empty()) return;
    path = normaliseSoundPath(std::move(path), platform::kPathSeparator, platform::kAltPathSeparator);
    const CachedSound* sound = cache_.loadSound(path, rate_());
    if (sound == nullptr) return;

    float volume = static_cast<float>(getNumber(command, "vol", 1.0));
    if (!(volume > 0.0f) || volume > 2.0f) volume = 1.0f;

    // The old sound of this id fades out while the new one fades in. It still holds
    // its voice until the fade ends, so it does not count as free below.
    voices_.fadeMatching(id);
    const int voice = voices_.start(sound->samples.data(), sound->frameCount, volume, id);
    if (voice < 0) {
        log_.logLine("play %s DROPPED - all %d voices busy", id.c_str(), Voices::kCount);
        return;
    }
    log_.logLine("play %s vol=%.2f voice=%d", id.c_str(), static_cast<double>(volume), voice);
    writeStateFile();
}

void SoundBoard::writeStateFile() {
    if (statePath_.empty()) return;
    const auto active = listActiveSounds(voices_, rate_());
    std::string signature = stateSignature(active);
    if (active.empty() && signature == lastStateSignature_) return;
    lastStateSignature_ = std::move(signature);
    replaceFileWhole(statePath_, stateFileText(active, platform::unixTimeMillis()));
}

}  // namespace qk::sound
