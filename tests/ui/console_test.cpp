#include "ui/console.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "fakes/fake_host.h"

namespace slicery {
namespace {

struct Read {
  WordStatus status;
  std::string word;
  bool operator==(const Read&) const = default;
};

void PrintTo(const Read& read, std::ostream* out) {
  *out << static_cast<int>(read.status) << " \"" << read.word << '"';
}

std::vector<Read> ReadAll(const std::string& typed, int reads) {
  std::istringstream in(typed);
  std::vector<Read> got;
  for (int i = 0; i < reads; ++i) {
    std::string word = "stale";
    const WordStatus status = ReadWord(in, &word);
    got.push_back({status, word});
  }
  return got;
}

// Each read takes a word and the rest of its line; a line with more than one
// word, or a word too long, is refused whole, and the next line is read next.
TEST(ReadWordTest, TakesOneWordAndItsWholeLine) {
  constexpr WordStatus kRead = WordStatus::kRead;
  constexpr WordStatus kLong = WordStatus::kTooLong;
  constexpr WordStatus kMany = WordStatus::kTooMany;
  const std::string fits(259, 'a');
  const std::string too_long(260, 'b');
  struct Case {
    std::string typed;
    std::vector<Read> reads;
  };
  const Case cases[] = {
      {" \t\r\n\v\fone\ntwo", {{kRead, "one"}, {kRead, "two"}}},
      {"\n\n  src.bin \t\r\nnext\n", {{kRead, "src.bin"}, {kRead, "next"}}},
      {"old.bin yes\ny\n", {{kMany, ""}, {kRead, "y"}}},
      {"C:\\MY FILE.TXT\nnext", {{kMany, ""}, {kRead, "next"}}},
      {"a b", {{kMany, ""}, {kRead, ""}}},
      {fits + "\n" + too_long + " more\nnext",
       {{kRead, fits}, {kLong, ""}, {kRead, "next"}}},
      // End of input: empty, and every later read is empty too.
      {"last", {{kRead, "last"}, {kRead, ""}, {kRead, ""}}},
      {"only\n  ", {{kRead, "only"}, {kRead, ""}, {kRead, ""}}},
      {"", {{kRead, ""}, {kRead, ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed.substr(0, 40));
    EXPECT_EQ(ReadAll(c.typed, static_cast<int>(c.reads.size())), c.reads);
  }
}

// The line ends at its LF: nothing of the next line is read, so a console
// read never waits for a line that the user has not typed yet.
TEST(ReadWordTest, StopsRightAfterTheLineEnd) {
  std::istringstream in("word \t\r\n  rest");
  std::string word;
  EXPECT_EQ(ReadWord(in, &word), WordStatus::kRead);
  EXPECT_EQ(in.get(), ' ');
}

TEST(UpperCaseTest, ChangesOnlyAsciiLowerCaseLetters) {
  std::string text = "a:\\dir\\file-9.txt \x7f\x80\xe9\xff_AZaz{`";
  UpperCase(&text);
  EXPECT_EQ(text, "A:\\DIR\\FILE-9.TXT \x7f\x80\xe9\xff_AZAZ{`");
}

TEST(ReadTypedPathTest, UpperCasesOnlyWhereTheHostAsks) {
  FakeHost host("over/long");
  std::string path;
  host.ctx.upper_case_typed_paths = true;
  ASSERT_TRUE(ReadTypedPath(host.ctx, &path));
  EXPECT_EQ(path, "OVER/LONG");

  FakeHost as_typed("mixed.Case");
  ASSERT_TRUE(ReadTypedPath(as_typed.ctx, &path));
  EXPECT_EQ(path, "mixed.Case");
}

TEST(ReadTypedPathTest, RefusesANulByteOrASecondWordAndReadsTheNextLine) {
  FakeHost host(std::string("a\0b\nmy file\nnext", 16));
  std::string path;
  EXPECT_FALSE(ReadTypedPath(host.ctx, &path));
  EXPECT_FALSE(ReadTypedPath(host.ctx, &path));
  ASSERT_TRUE(ReadTypedPath(host.ctx, &path));
  EXPECT_EQ(path, "next");
}

}  // namespace
}  // namespace slicery
