#include "ui/console.h"

#include <istream>
#include <ostream>

namespace slicery {

void ClearConsole(Console& console) { console.screen.Clear(); }

void EndLine(Console& console) { console.out << '\n' << std::flush; }

WordStatus ReadWord(std::istream& in, std::string* word) {
  word->clear();
  using Traits = std::istream::traits_type;
  int c = in.peek();
  while (c != Traits::eof() && IsWhiteSpace(c)) {
    in.get();
    c = in.peek();
  }
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
  if (too_long) {
    word->clear();
    return WordStatus::kTooLong;
  }
  return WordStatus::kRead;
}

void UpperCase(std::string* text) {
  for (char& c : *text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
}

bool ReadTypedPath(Console& console, std::string* path) {
  if (ReadWord(console.in, path) == WordStatus::kTooLong) return false;
  // The file system would see the name only up to a NUL byte, while a record
  // would keep all of it: such a word names no one file.
  if (path->find('\0') != std::string::npos) return false;
  if (console.upper_case_typed_paths) UpperCase(path);
  return true;
}

}  // namespace slicery
