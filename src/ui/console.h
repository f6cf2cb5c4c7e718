// Console output and typed words.
#pragma once

#include <iosfwd>
#include <string>

#include "platform/text.h"
#include "ui/context.h"

namespace slicery {

void ClearConsole(Context& ctx);

// Writes "\n" and flushes the console.
void EndLine(std::ostream& out);

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
bool ReadTypedPath(Context& ctx, std::string* path);

}  // namespace slicery
