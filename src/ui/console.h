// The console an operation talks to its user through, and what is read and
// written there.
#pragma once

#include <iosfwd>
#include <string>

#include "platform/screen.h"
#include "platform/text.h"

namespace slicery {

// The message boxes and the console streams, and how typed paths are taken.
struct Console {
  Screen& screen;
  std::istream& in;
  std::ostream& out;
  // Whether typed paths are upper-cased before use; the host decides.
  bool upper_case_typed_paths;
};

void ClearConsole(Console& console);

// Writes "\n" and flushes the console.
void EndLine(Console& console);

enum class WordStatus {
  kRead,     // a word (empty at end of input)
  kTooLong,  // longer than kMaxPathLength; *word left empty
  kTooMany,  // more than one word on its line; *word left empty
};

// Reads one typed word and the rest of its line. Leading space, tab, LF, CR,
// VT and FF, empty lines included, are skipped; then the word is read, and the
// rest of its line, up to and including the LF or the end of input, is
// consumed, so nothing of that line answers a later question. A line with
// another word after the first is refused whole. At end of input the word is
// empty and the stream stays failed, so every later read is empty too.
WordStatus ReadWord(std::istream& in, std::string* word);

// Turns ASCII a-z into A-Z in place; every other byte is left alone.
void UpperCase(std::string* text);

// Reads a typed path: one word on its line, upper-cased where the host wants
// it. Returns false when the line cannot be a path: a word too long, more than
// one word (a record keeps the path as one word), or a NUL byte.
bool ReadTypedPath(Console& console, std::string* path);

}  // namespace slicery
