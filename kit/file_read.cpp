#include "kit/file_read.h"

#include "platform/files.h"

namespace qk {

std::optional<std::string> readWholeFile(const std::string& path) {
    auto file = platform::ReadableFile::open(path);
    if (!file) return std::nullopt;
    const std::int64_t size = file->size();
    if (size < 1 || size > kMaxWholeFileBytes) return std::nullopt;
    std::string bytes(static_cast<size_t>(size), '\0');
    const std::int64_t got = file->read(bytes.data(), bytes.size());  // one request
    if (got <= 0) return std::nullopt;
    bytes.resize(static_cast<size_t>(got));
    return bytes;
}

}  // namespace qk
