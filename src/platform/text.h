// Text rules every layer shares, so that a typed path, a dialog answer and a
// record read back are judged alike on every host and in every locale.
#pragma once

#include <cstddef>

namespace slicery {

// The longest path the program takes, typed or read from a record. A longer
// one is refused whole, never shortened to fit.
inline constexpr std::size_t kMaxPathLength = 259;

// Whether `c` separates words: space, tab, LF, CR, VT or FF, and nothing else,
// so that a NUL or a byte above 127 is part of a word and a record reads the
// same with CR LF or LF line ends.
constexpr bool IsWhiteSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace slicery
