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
  kTooLong,  // longer than kMaxPathLength; consumed whole, *word left empty
};

// Reads one whitespace-delimited word. Leading space, tab, LF, CR, VT and FF
// are skipped; the delimiter after the word stays unread. At end of input the
// word is empty and the stream stays failed, so every later read is empty too.
WordStatus ReadWord(std::istream& in, std::string* word);

// Turns ASCII a-z into A-Z in place; every other byte is left alone.
void UpperCase(std::string* text);

// Reads a typed path: one word, upper-cased where the host wants it. Returns
// false when the word cannot be a path: too long, or holding a NUL byte.
bool ReadTypedPath(Context& ctx, std::string* path);

}  // namespace slicery
