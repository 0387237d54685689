// The sound board tailing an inbox that grows in chunks: whole lines, lines cut
// anywhere, very long lines, carriage returns and NUL bytes. Play commands whose
// path names "tone.wav" get a real short tone; every other path is undecodable.
//
// Input: byte 0 sets the chunk size (0: all at once), byte 1 how often the rest
// is repeated (1 to 2048 times, for long lines), the rest is the inbox's text.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "sound/sound_board.h"
#include "tests/sound/sound_files.h"
#include "tests/support/temp_dir.h"

namespace {

struct Folder {
    qktest::TempDir dir;
    std::string tone = dir.file("tone.wav");
    std::string inbox = dir.file("sound-inbox.jsonl");
    qk::LogFile log = qk::LogFile::companion(dir.file("sound.log"));
    Folder() { qktest::writeSineWav(tone, 48000, 2, 0.05, 440, 0.5); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Folder* folder = new Folder;  // lives for the whole run
    if (size < 2) return -1;
    const std::size_t step = data[0];
    const std::size_t repeat = std::size_t{1} << (data[1] % 12);
    const std::string_view unit(reinterpret_cast<const char*>(data) + 2, size - 2);
    std::string text;
    text.reserve(unit.size() * repeat);
    for (std::size_t i = 0; i < repeat && text.size() < (4u << 20); ++i) text += unit;

    qktest::writeFile(folder->inbox, "");
    qktest::writeFile(folder->dir.file("sound.log"), "");
    qk::sound::Voices voices;
    const std::string tone = folder->tone;
    qk::sound::SoundBoard board(
        voices, folder->log, folder->inbox, folder->dir.file("sound-state.json"), [] { return 48000; },
        [tone](const std::string& path) -> std::unique_ptr<qk::platform::AudioDecoder> {
            if (path.size() < 8 || path.compare(path.size() - 8, 8, "tone.wav") != 0) return nullptr;
            return qk::platform::AudioDecoder::open(tone);
        });
    board.runCycle();  // notes the empty inbox
    std::ofstream out(folder->inbox, std::ios::binary | std::ios::app);
    // At most a few hundred cycles, so that long texts stay quick.
    const std::size_t chunk = step == 0 ? std::max<std::size_t>(text.size(), 1) : std::max(step, text.size() / 256);
    for (std::size_t at = 0; at < text.size(); at += chunk) {
        out.write(text.data() + at, static_cast<std::streamsize>(std::min(chunk, text.size() - at)));
        out.flush();
        board.runCycle();
    }
    board.runCycle();
    return 0;
}
