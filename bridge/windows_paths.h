// Paths the Windows way: drive letters, backslashes, names compared without case,
// and the names and forms to which Windows gives a meaning of its own (devices,
// streams, namespaces, names it trims). The logic is plain text over a few system
// calls handed in, so the same code runs everywhere and is tested everywhere; the
// Windows build hands in the real calls.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qk::bridge::winpath {

struct Calls {
    // Absolute, "." and ".." folded, relative paths taken from the current folder
    // (GetFullPathNameW). Nothing when the call fails.
    std::function<std::optional<std::string>(const std::string&)> fullPath;
    // The final path of an existing file or folder, every link and junction
    // resolved, names in their stored (long) form, without a long-path prefix.
    std::function<std::optional<std::string>(const std::string&)> finalPath;
    // When a symbolic link or a junction stands at exactly this path (even one that
    // points nowhere), the path it holds; nothing otherwise.
    std::function<std::optional<std::string>(const std::string&)> linkTarget;
    // Equal as the file system compares names: ordinal, ignoring case.
    std::function<bool(std::string_view, std::string_view)> sameName;
};

// "\\?\C:\x" -> "C:\x", "\\?\UNC\server\share" -> "\\server\share"; others unchanged.
std::string stripLongPathPrefix(std::string_view path);

// A name Windows opens as a device whatever folder it is in and whatever
// extension follows it: CON, PRN, AUX, NUL, COM0-9, LPT0-9 (with the superscript
// digits too), CONIN$, CONOUT$.
bool isReservedDeviceName(std::string_view name);

// A name in the 8.3 form the system makes up for long names ("PROGRA~1",
// "SETTIN~1.JSO").
bool looksLikeShortName(std::string_view name);

// True when the path names a device, a pipe or a namespace other than a drive's or
// a share's files ("\\.\pipe\x", "\\?\GLOBALROOT", "C:\dir\nul.txt"). Such a path
// is never opened, not even to resolve it.
bool namesDevice(std::string_view path);

// Why a path given for a write, a new folder or a deletion is refused from its
// text alone, before anything looks at the disk; nothing when it is a plain path
// on a drive. Refused: the "\\?\", "\\.\" and "\??\" namespaces, network (UNC)
// paths, drive-relative paths ("C:x"), and any name that is a device, holds a
// stream (':'), a wildcard or a control character, or ends with a dot or a blank
// (which Windows drops, so that "settings.json." is "settings.json").
std::optional<std::string> writeRefusal(std::string_view given);

// Why a canonical path is refused for a write: a name in it that is still in the
// 8.3 form, that is one the final path could not turn into its long name.
std::optional<std::string> canonicalRefusal(std::string_view canonical);

// Why a write at this full path is refused for what stands in its last place: a
// symbolic link or a junction, seen by its reparse data or, where the system
// resolves a link without showing its data, by a final path that leads out of
// the folder the path names. A write there would land on the link itself, a
// deletion remove it: neither is what the page asked for.
std::optional<std::string> linkRefusal(const std::string& fullPath, const Calls& calls);

// Slashes become backslashes, the path is made full, and its deepest existing
// ancestor is replaced by its final path, the part that does not exist yet kept
// as the full path has it. A link or junction that points nowhere is followed
// through the path it holds. A device path is returned as given, untouched. Empty
// in, empty out; empty also for a chain of links too long to follow.
std::string canonicalize(const std::string& path, const Calls& calls);

// True when the canonical path is one of the roots or lies below one, names
// compared as the file system does ("C:\Data" admits "c:\data\x", not
// "C:\Data2"). Roots are canonicalized here; a root whose text would be refused
// for a write is skipped.
bool isInsideRoots(const std::string& canonical, const std::vector<std::string>& roots, const Calls& calls);

bool isAbsolute(std::string_view path);  // "C:\..." or "\\server\share..."
// "C:\a\b" -> "C:\a", "C:\a" -> "C:\", "C:\" -> "C:\", "a" -> ".".
std::string folderOf(const std::string& path);
// The name after the last backslash.
std::string nameOf(const std::string& path);

}  // namespace qk::bridge::winpath
