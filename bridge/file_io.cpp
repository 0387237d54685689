#include "bridge/file_io.h"

#include <algorithm>

#include "bridge/paths.h"
#include "platform/files.h"

namespace qk::bridge {

namespace {
// Offsets and counts are 32-bit in the page's decoder; 2 GiB and more is refused
// as a size problem instead of being cut or wrapped.
constexpr std::int64_t kMaxTextFileBytes = 0x7FFFFFFF;
}  // namespace

bool readFileBytes(const std::string& path, std::string& bytes, std::string& error) {
    auto file = platform::ReadableFile::open(path);
    if (!file) {
        error = "read failed (cannot open)";
        return false;
    }
    const std::int64_t size = file->size();
    if (size < 0 || size > kMaxTextFileBytes) {
        error = "read failed (size)";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t want = std::min(kMaxIoRequestBytes, bytes.size() - done);
        const std::int64_t got = file->read(bytes.data() + done, want);
        if (got <= 0) break;  // a short read keeps what arrived
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return true;
}

bool readTextFile(const std::string& path, DecodedText& text, std::string& error) {
    std::string bytes;
    if (!readFileBytes(path, bytes, error)) return false;
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    text = DecodedText::decode(std::move(bytes));
    return true;
}

bool writeFileAtomic(const std::string& path, std::string_view bytes, std::string& error) {
    const auto temp = platform::createUniqueFile(folderOf(path), "qkw");
    if (!temp) {
        error = "write failed (temp)";
        return false;
    }
    auto fail = [&](const char* message) {
        platform::removeFile(*temp);
        error = message;
        return false;
    };
    {
        auto file = platform::WritableFile::create(*temp);
        if (!file) return fail("write failed (open temp)");
        std::size_t done = 0;
        while (done < bytes.size()) {
            const std::size_t chunk = std::min(kMaxIoRequestBytes, bytes.size() - done);
            const std::int64_t wrote = file->write(bytes.data() + done, chunk);
            if (wrote <= 0) {
                file.reset();
                return fail("write failed");
            }
            done += static_cast<std::size_t>(wrote);
        }
        if (!file->flush()) {
            file.reset();
            return fail("write failed");
        }
    }
    if (!platform::replaceFile(*temp, path)) return fail("write failed (replace)");
    return true;
}

}  // namespace qk::bridge
