// Text rules every layer shares: how long a path may be, and which characters
// separate words (in typed input, dialog answers and records alike).
#pragma once

#include <cstddef>

namespace slicery {

// Longest path a path buffer holds: 259 characters and the terminating NUL.
inline constexpr std::size_t kMaxPathLength = 259;

// Space, tab, LF, CR, VT and FF: what the runtime's scans skip.
constexpr bool IsWhiteSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace slicery
