#include "sound/sound_cache.h"

#include <algorithm>

#include "platform/files.h"

namespace qk::sound {

namespace {
unsigned long asHr(platform::DecodeCode code) {
    return static_cast<std::uint32_t>(code);
}
}  // namespace

std::string soundDisplayName(const std::string& path) {
    const auto cut = path.find_last_of(platform::kPathSeparator);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool isAbsoluteLocalPath(const std::string& path, char separator) {
    // The system would take the path only up to a NUL: another file than the one named.
    if (path.find('\0') != std::string::npos) return false;
    if (separator == '/') return !path.empty() && path[0] == '/';
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (path.size() >= 3 && letter(path[0]) && path[1] == ':' && path[2] == separator) return true;
    return path.size() >= 3 && path[0] == separator && path[1] == separator && path[2] != separator && path[2] != '.' &&
           path[2] != '?';
}

bool isPlayableSoundPath(const std::string& path) {
    // fileSize answers only for regular files and never opens the file, so a
    // pipe or device named like a sound cannot hold the worker here.
    return isAbsoluteLocalPath(path, platform::kPathSeparator) && platform::fileSize(path).has_value();
}

SoundCache::SoundCache(const LogFile& log, DecoderOpener open) : log_(log), open_(std::move(open)) {}

const CachedSound* SoundCache::loadSound(const std::string& path, int rate) {
    if (const auto hit = sounds_.find(path); hit != sounds_.end()) return &hit->second;

    const std::string name = soundDisplayName(path);
    auto decoder = isPlayableSoundPath(path) ? open_(path) : nullptr;
    if (!decoder) {
        log_.logLine("decode FAIL (open): %s", name.c_str());
        return nullptr;
    }
    if (const auto code = decoder->setOutputFormat(rate); code != 0) {
        log_.logLine("decode FAIL (media type, hr=0x%08lX): %s", asHr(code), name.c_str());
        return nullptr;
    }
    const platform::DecodedFormat got = decoder->outputFormat();
    if ((got.rate != 0 && got.rate != static_cast<unsigned>(rate)) || got.channels != 2)
        log_.logLine("decode WARN: asked %dHz/2ch, got %uHz/%uch - %s", rate, got.rate, got.channels, name.c_str());

    const std::int64_t limit = static_cast<std::int64_t>(rate) * kMaxSoundSeconds;
    std::vector<float> samples;
    // Room for the whole sound at once when the file tells its length: growing a
    // long sound step by step would copy it over and over.
    const std::int64_t expected = std::min(limit, decoder->expectedFrames() + decoder->expectedFrames() / 64 + 4096);
    samples.reserve(static_cast<std::size_t>(std::max<std::int64_t>(8192, 2 * expected)));
    std::int64_t total = 0;
    bool truncated = false;
    for (;;) {
        platform::DecodedChunk chunk;
        platform::DecodeCode code = 0;
        const platform::ReadStatus status = decoder->read(&chunk, &code);
        if (status == platform::ReadStatus::Failed) {
            log_.logLine("decode FAIL (read, hr=0x%08lX): %s", asHr(code), name.c_str());
            break;
        }
        if (status == platform::ReadStatus::EndOfStream) break;
        if (chunk.frames == 0 || chunk.samples == nullptr) continue;  // a gap
        const auto take = std::min<std::int64_t>(static_cast<std::int64_t>(chunk.frames), limit - total);
        samples.insert(samples.end(), chunk.samples, chunk.samples + 2 * take);
        total += take;
        if (take < static_cast<std::int64_t>(chunk.frames)) {
            truncated = true;
            break;
        }
    }
    decoder.reset();

    if (total <= 0) {
        log_.logLine("decode FAIL (empty): %s", name.c_str());
        return nullptr;
    }
    // The cache keeps every sound for the evening: give back a reserve that a
    // misleading header made too large.
    if (samples.capacity() - samples.size() > samples.size() / 16 + 8192) samples.shrink_to_fit();
    auto& entry = sounds_[path];
    entry.samples = std::move(samples);
    entry.frameCount = static_cast<std::int32_t>(total);
    log_.logLine("decoded %s - %.1fs @%.0fHz%s (cache: %u sounds)", name.c_str(), static_cast<double>(total) / rate,
                 static_cast<double>(rate), truncated ? " [TRUNCATED at cap]" : "",
                 static_cast<unsigned>(sounds_.size()));
    return &entry;
}

}  // namespace qk::sound
