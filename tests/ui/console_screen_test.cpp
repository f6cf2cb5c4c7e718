#include "ui/console_screen.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "ui/dialog.h"

namespace slicery {
namespace {

struct EndOfInput {};

struct Rendered {
  int result;
  std::string output;
};

Rendered Show(const std::string& typed, unsigned flags, const std::string& text = "Text",
              const std::string& caption = "Slicery") {
  std::istringstream in(typed);
  std::ostringstream out;
  ConsoleScreen screen(in, out, false, [] { throw EndOfInput{}; });
  const int result = screen.ShowMessageBox(text, caption, flags);
  return {result, out.str()};
}

TEST(ConsoleScreenTest, RendersEveryButtonSetAndIcon) {
  struct Case {
    unsigned flags;
    std::string caption;
    std::string answer;
    std::string rendered;
  };
  const Case cases[] = {
      {0x3, "Slicery", "y", "\n== Slicery ==\nA\nB\n[Y]es / [N]o / [C]ancel: "},
      {0x1, "Insert Disk", "o", "\n== Insert Disk ==\nA\nB\n[O]K / [C]ancel: "},
      {0x4, "Slicery", "n", "\n== Slicery ==\nA\nB\n[Y]es / [N]o: "},
      {0x24, "Slicery", "y", "\n== Slicery (question) ==\nA\nB\n[Y]es / [N]o: "},
      {0x31, "Slicery", "c", "\n== Slicery (warning) ==\nA\nB\n[O]K / [C]ancel: "},
      {0x30, "Error", "o", "\n== Error (warning) ==\nA\nB\n[O]K: "},
      {0x11, "Error", "c", "\n== Error (error) ==\nA\nB\n[O]K / [C]ancel: "},
      {0x14, "Error", "n", "\n== Error (error) ==\nA\nB\n[Y]es / [N]o: "},
      {0x10, "Fatal error", "o", "\n== Fatal error (error) ==\nA\nB\n[O]K: "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Show(c.answer + "\n", c.flags, "A\nB", c.caption).output, c.rendered)
        << "flags " << c.flags;
  }
}

TEST(ConsoleScreenTest, TakesTheFirstLetterInEitherCaseAndDropsTheRestOfTheLine) {
  EXPECT_EQ(Show("Y\n", 0x3).result, IDYES);
  EXPECT_EQ(Show("no thanks\n", 0x3).result, IDNO);
  EXPECT_EQ(Show("\n \t\r\nCancel\n", 0x3).result, IDCANCEL);
  EXPECT_EQ(Show("ok", 0x0).result, IDOK);

  // The rest of an answer line never answers the next dialog.
  std::istringstream in("yes please\nn\n");
  std::ostringstream out;
  ConsoleScreen screen(in, out, false, [] { throw EndOfInput{}; });
  EXPECT_EQ(screen.ShowMessageBox("A", "Slicery", 0x4), IDYES);
  EXPECT_EQ(screen.ShowMessageBox("B", "Slicery", 0x4), IDNO);
}

TEST(ConsoleScreenTest, AsksAgainWithOnlyTheButtonsLineForALetterNotOffered) {
  const Rendered r = Show("o\nx\n7\nn\n", 0x4);
  EXPECT_EQ(r.result, IDNO);
  EXPECT_EQ(r.output,
            "\n== Slicery ==\nText\n[Y]es / [N]o: [Y]es / [N]o: [Y]es / [N]o: "
            "[Y]es / [N]o: ");
}

TEST(ConsoleScreenTest, EndOfInputEndsTheProgram) {
  EXPECT_THROW(Show("", 0x3), EndOfInput);
  EXPECT_THROW(Show(" \n\n", 0x1), EndOfInput);
  EXPECT_THROW(Show("x\n", 0x0), EndOfInput);
}

TEST(ConsoleScreenTest, ClearsOnlyATerminal) {
  std::istringstream in;
  std::ostringstream terminal;
  std::ostringstream piped;
  ConsoleScreen(in, terminal, true, [] {}).Clear();
  ConsoleScreen(in, piped, false, [] {}).Clear();
  EXPECT_EQ(terminal.str(), "\x1b[H\x1b[2J");
  EXPECT_EQ(piped.str(), "");
}

}  // namespace
}  // namespace slicery
