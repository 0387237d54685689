// Paths the page names: made absolute and canonical before any check, and the
// write-root rule that confines writing.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qk::bridge {

// Absolute, with "." and ".." segments and doubled separators folded away as
// text (before any link is looked at); a relative path is taken from the current
// folder. A trailing separator is kept.
std::string fullPath(const std::string& path);

// The full path with its deepest existing ancestor replaced by the real path (all
// links followed) and the rest appended. A link that points nowhere is followed
// through its text, so that nothing created "through" it escapes a check. Empty
// in, empty out; empty also for a chain of links too long to follow.
std::string canonicalizePath(const std::string& path);

// True when the canonical path is one of the roots or lies below one. Roots are
// canonicalized here; the comparison is exact, and a root admits itself and what
// lies below it ("/data" does not admit "/data2").
bool isInsideWriteRoots(const std::string& canonicalPath, const std::vector<std::string>& roots);

// The folder part of a path ("/a/b" -> "/a", "/a" -> "/", "a" -> "."; on Windows
// "C:\a" -> "C:\").
std::string folderOf(const std::string& path);
// The name after the last separator.
std::string nameOf(const std::string& path);
// An absolute path ("/..." here, "C:\..." or a share on Windows).
bool isAbsolutePath(const std::string& path);

// Why a path the page gives for a write, a new folder or a deletion is refused
// before anything looks at the disk: on Windows the namespaces, shares, devices,
// streams and names Windows trims (see windows_paths.h); nothing on POSIX, where
// the roots alone decide.
std::optional<std::string> writeRefusal(const std::string& given);
// Why such a request is refused once its path is canonical: on Windows a name
// left in its 8.3 form, or a link or junction in the last place of the path given
// or of the canonical one.
std::optional<std::string> canonicalWriteRefusal(const std::string& given, const std::string& canonicalPath);
// True when a path names a device or a pipe rather than a file (Windows only):
// it is not opened at all, not even to read.
bool namesDevice(const std::string& path);

}  // namespace qk::bridge
