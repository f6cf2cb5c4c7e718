#include "ui/console.h"

#include <istream>
#include <ostream>

namespace slicery {
namespace {

using Traits = std::istream::traits_type;

// Skips white space, line ends included. The next character, left unread.
int SkipWhiteSpace(std::istream& in) {
  int c = in.peek();
  while (c != Traits::eof() && IsWhiteSpace(c)) {
    in.get();
    c = in.peek();
  }
  return c;
}

// Consumes the rest of the line, up to and including its LF or to the end of
// input. Whether it held anything but white space.
bool RestOfLineHoldsMore(std::istream& in) {
  bool more = false;
  for (int c = in.peek(); c != Traits::eof(); c = in.peek()) {
    in.get();
    if (c == '\n') break;
    if (!IsWhiteSpace(c)) more = true;
  }
  return more;
}

}  // namespace

void ClearConsole(Console& console) { console.screen.Clear(); }

void EndLine(Console& console) { console.out << '\n' << std::flush; }

WordStatus ReadWord(std::istream& in, std::string* word) {
  word->clear();
  int c = SkipWhiteSpace(in);
  if (c == Traits::eof()) {
    in.setstate(std::ios::failbit);
    return WordStatus::kRead;
  }
  bool too_long = false;
  while (c != Traits::eof() && !IsWhiteSpace(c)) {
    in.get();
    if (word->size() < kMaxPathLength) {
      word->push_back(Traits::to_char_type(c));
    } else {
      too_long = true;
    }
    c = in.peek();
  }
  const bool more = RestOfLineHoldsMore(in);
  if (too_long || more) {
    word->clear();
    return too_long ? WordStatus::kTooLong : WordStatus::kTooMany;
  }
  return WordStatus::kRead;
}

void UpperCase(std::string* text) {
  for (char& c : *text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
}

bool ReadTypedPath(Console& console, std::string* path) {
  // A word too long for a path buffer is refused, and so is a line with white
  // space inside it: the record keeps the path as one word, so such a path
  // would not come back whole.
  if (ReadWord(console.in, path) != WordStatus::kRead) return false;
  // The file system would see the name only up to a NUL byte, while a record
  // would keep all of it: such a word names no one file.
  if (path->find('\0') != std::string::npos) return false;
  if (console.upper_case_typed_paths) UpperCase(path);
  return true;
}

}  // namespace slicery
