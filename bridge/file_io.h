// Whole-file text reads and atomic whole-file writes for the page's files.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "bridge/text_decode.h"
#include "platform/files.h"

namespace qk::bridge {

inline constexpr std::size_t kMaxIoRequestBytes = 0x100000;  // one read or write call: 1 MiB

// Reads the whole file in requests of at most 1 MiB (a request that fails or
// returns nothing ends the read, keeping what came before), drops a UTF-8 byte
// order mark and decodes the rest. On failure *error is "read failed (cannot
// open)" or "read failed (size)".
bool readTextFile(const std::string& path, DecodedText& text, std::string& error);
// The same read, without decoding: the buffer is not cleared first, since a
// whole file can be 64 MiB.
bool readFileBytes(const std::string& path, std::unique_ptr<char[]>& data, std::size_t& size, std::string& error);

// Replaces the file as a whole: writes a "qkw" temporary file in the same folder
// in requests of at most 1 MiB, flushes it to the disk and renames it over the
// target, so readers see the old file or the complete new one. The new file keeps
// the old one's permissions, and the rename is on the disk before this returns. The temporary
// file is removed on every failure; *error is then "write failed (temp)", "write
// failed (open temp)", "write failed" or "write failed (replace)".
bool writeFileAtomic(const std::string& path, std::string_view bytes, std::string& error);
// The same replacement of the file `name` in a folder already held open.
bool writeFileAtomicIn(platform::Folder& folder, const std::string& name, std::string_view bytes,
                       std::string& error);

// The folder at the canonical path, held open, with its missing levels made one
// by one when `createMissing` allows (never through a link). Nothing when the
// folder held is not the one the path names, that is when a link was put in
// along the way after the path was checked.
std::unique_ptr<platform::Folder> openCheckedFolder(const std::string& canonicalPath, bool createMissing);

}  // namespace qk::bridge
