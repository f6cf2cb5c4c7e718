#include "ui/console.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "fakes/fake_host.h"

namespace slicery {
namespace {

std::vector<std::string> ReadAllWords(const std::string& typed, int reads) {
  std::istringstream in(typed);
  std::vector<std::string> words;
  for (int i = 0; i < reads; ++i) {
    std::string word = "stale";
    EXPECT_EQ(ReadWord(in, &word), WordStatus::kRead);
    words.push_back(word);
  }
  return words;
}

TEST(ReadWordTest, SkipsEveryKindOfLeadingWhitespaceAndStopsAtTheNext) {
  using Words = std::vector<std::string>;
  EXPECT_EQ(ReadAllWords(" \t\r\n\v\fone two", 2), (Words{"one", "two"}));
  EXPECT_EQ(ReadAllWords("C:\\MY FILE.TXT\n", 2), (Words{"C:\\MY", "FILE.TXT"}));
  EXPECT_EQ(ReadAllWords("last", 1), (Words{"last"}));
  // End of input: empty, and every later read is empty too.
  EXPECT_EQ(ReadAllWords("only\n  ", 4), (Words{"only", "", "", ""}));
  EXPECT_EQ(ReadAllWords("", 2), (Words{"", ""}));
}

TEST(ReadWordTest, LeavesTheDelimiterUnread) {
  std::istringstream in("word\nrest");
  std::string word;
  ReadWord(in, &word);
  EXPECT_EQ(in.get(), '\n');
}

TEST(ReadWordTest, AcceptsAFullBufferAndRefusesOneCharacterMoreWhole) {
  const std::string fits(259, 'a');
  const std::string too_long(260, 'b');
  std::istringstream in(fits + " " + too_long + " next");
  std::string word;
  EXPECT_EQ(ReadWord(in, &word), WordStatus::kRead);
  EXPECT_EQ(word, fits);
  EXPECT_EQ(ReadWord(in, &word), WordStatus::kTooLong);
  EXPECT_EQ(word, "");
  EXPECT_EQ(ReadWord(in, &word), WordStatus::kRead);
  EXPECT_EQ(word, "next");
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

TEST(ReadTypedPathTest, RefusesAWordHoldingANulByteWholeAndReadsOn) {
  FakeHost host(std::string("a\0b next", 8));
  std::string path;
  EXPECT_FALSE(ReadTypedPath(host.ctx, &path));
  ASSERT_TRUE(ReadTypedPath(host.ctx, &path));
  EXPECT_EQ(path, "next");
}

}  // namespace
}  // namespace slicery
