#pragma once

namespace qk {
// The sound board and the overlay share one author text; the karaoke plug-in has a shorter one.
inline constexpr const char* kCompanionAuthor = "Quorvale Karaoke Works";
inline constexpr const char* kKaraokeAuthor = "Quorvale";
}  // namespace qk
