#include "platform/console_screen.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "fakes/dialog_names.h"

namespace slicery {
namespace {

struct EndOfInput {};

struct Rendered {
  DialogResult result;
  std::string output;
};

Rendered Show(const std::string& typed, Buttons buttons, Icon icon,
              const std::string& text = "Text", const std::string& caption = "Slicery") {
  std::istringstream in(typed);
  std::ostringstream out;
  ConsoleScreen screen(in, out, false, [] { throw EndOfInput{}; });
  const DialogResult result = screen.ShowMessageBox(text, caption, buttons, icon);
  return {result, out.str()};
}

TEST(ConsoleScreenTest, RendersEveryButtonSetAndIcon) {
  struct Case {
    Buttons buttons;
    Icon icon;
    std::string caption;
    std::string answer;
    std::string rendered;
  };
  const Case cases[] = {
      {Buttons::kYesNoCancel, Icon::kNone, "Slicery", "y",
       "\n== Slicery ==\nA\nB\n[Y]es / [N]o / [C]ancel: "},
      {Buttons::kOkCancel, Icon::kNone, "Insert Disk", "o",
       "\n== Insert Disk ==\nA\nB\n[O]K / [C]ancel: "},
      {Buttons::kYesNo, Icon::kNone, "Slicery", "n",
       "\n== Slicery ==\nA\nB\n[Y]es / [N]o: "},
      {Buttons::kYesNo, Icon::kQuestion, "Slicery", "y",
       "\n== Slicery (question) ==\nA\nB\n[Y]es / [N]o: "},
      {Buttons::kOkCancel, Icon::kWarning, "Slicery", "c",
       "\n== Slicery (warning) ==\nA\nB\n[O]K / [C]ancel: "},
      {Buttons::kOk, Icon::kWarning, "Error", "o",
       "\n== Error (warning) ==\nA\nB\n[O]K: "},
      {Buttons::kOkCancel, Icon::kError, "Error", "c",
       "\n== Error (error) ==\nA\nB\n[O]K / [C]ancel: "},
      {Buttons::kYesNo, Icon::kError, "Error", "n",
       "\n== Error (error) ==\nA\nB\n[Y]es / [N]o: "},
      {Buttons::kOk, Icon::kError, "Fatal error", "o",
       "\n== Fatal error (error) ==\nA\nB\n[O]K: "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Show(c.answer + "\n", c.buttons, c.icon, "A\nB", c.caption).output,
              c.rendered);
  }
}

TEST(ConsoleScreenTest, TakesTheFirstLetterInEitherCaseAndDropsTheRestOfTheLine) {
  EXPECT_EQ(Show("Y\n", Buttons::kYesNoCancel, Icon::kNone).result, DialogResult::kYes);
  EXPECT_EQ(Show("no thanks\n", Buttons::kYesNoCancel, Icon::kNone).result,
            DialogResult::kNo);
  EXPECT_EQ(Show("\n \t\r\nCancel\n", Buttons::kYesNoCancel, Icon::kNone).result,
            DialogResult::kCancel);
  EXPECT_EQ(Show("ok", Buttons::kOk, Icon::kNone).result, DialogResult::kOk);

  // The rest of an answer line never answers the next dialog.
  std::istringstream in("yes please\nn\n");
  std::ostringstream out;
  ConsoleScreen screen(in, out, false, [] { throw EndOfInput{}; });
  EXPECT_EQ(screen.ShowMessageBox("A", "Slicery", Buttons::kYesNo, Icon::kNone),
            DialogResult::kYes);
  EXPECT_EQ(screen.ShowMessageBox("B", "Slicery", Buttons::kYesNo, Icon::kNone),
            DialogResult::kNo);
}

TEST(ConsoleScreenTest, AsksAgainWithOnlyTheButtonsLineForALetterNotOffered) {
  const Rendered r = Show("o\nx\n7\nn\n", Buttons::kYesNo, Icon::kNone);
  EXPECT_EQ(r.result, DialogResult::kNo);
  EXPECT_EQ(r.output,
            "\n== Slicery ==\nText\n[Y]es / [N]o: [Y]es / [N]o: [Y]es / [N]o: "
            "[Y]es / [N]o: ");
}

TEST(ConsoleScreenTest, EndOfInputEndsTheProgram) {
  EXPECT_THROW(Show("", Buttons::kYesNoCancel, Icon::kNone), EndOfInput);
  EXPECT_THROW(Show(" \n\n", Buttons::kOkCancel, Icon::kNone), EndOfInput);
  EXPECT_THROW(Show("x\n", Buttons::kOk, Icon::kNone), EndOfInput);
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
