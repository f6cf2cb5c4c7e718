#include "ui/console_screen.h"

#include <istream>
#include <ostream>
#include <utility>

#include "ui/dialog.h"

namespace slicery {
namespace {

const char* ButtonsLine(unsigned buttons) {
  switch (buttons) {
    case static_cast<unsigned>(Buttons::kOkCancel):
      return "[O]K / [C]ancel";
    case static_cast<unsigned>(Buttons::kYesNoCancel):
      return "[Y]es / [N]o / [C]ancel";
    case static_cast<unsigned>(Buttons::kYesNo):
      return "[Y]es / [N]o";
    default:
      return "[O]K";
  }
}

const char* IconName(unsigned icon) {
  switch (icon) {
    case static_cast<unsigned>(Icon::kError):
      return "error";
    case static_cast<unsigned>(Icon::kQuestion):
      return "question";
    case static_cast<unsigned>(Icon::kWarning):
      return "warning";
    default:
      return nullptr;
  }
}

bool IsAnswerSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

ConsoleScreen::ConsoleScreen(std::istream& in, std::ostream& out, bool out_is_terminal,
                             std::function<void()> end_of_input)
    : in_(in),
      out_(out),
      out_is_terminal_(out_is_terminal),
      end_of_input_(std::move(end_of_input)) {}

int ConsoleScreen::ButtonForLetter(unsigned buttons, int letter) {
  const bool ok = buttons == 0x0 || buttons == 0x1;
  const bool cancel = buttons == 0x1 || buttons == 0x3;
  const bool yes_no = buttons == 0x3 || buttons == 0x4;
  switch (letter) {
    case 'O':
    case 'o':
      return ok ? IDOK : 0;
    case 'C':
    case 'c':
      return cancel ? IDCANCEL : 0;
    case 'Y':
    case 'y':
      return yes_no ? IDYES : 0;
    case 'N':
    case 'n':
      return yes_no ? IDNO : 0;
    default:
      return 0;
  }
}

void ConsoleScreen::DiscardRestOfLine() {
  using Traits = std::istream::traits_type;
  for (int c = in_.get(); c != Traits::eof() && c != '\n'; c = in_.get()) {
  }
}

int ConsoleScreen::ShowMessageBox(const std::string& text, const std::string& caption,
                                  unsigned flags) {
  const unsigned buttons = flags & kButtonsMask;
  const char* icon = IconName(flags & kIconMask);
  out_ << "\n== " << caption;
  if (icon != nullptr) out_ << " (" << icon << ")";
  out_ << " ==\n" << text << '\n' << ButtonsLine(buttons) << ": " << std::flush;
  using Traits = std::istream::traits_type;
  for (;;) {
    int c = in_.get();
    while (c != Traits::eof() && IsAnswerSpace(c)) c = in_.get();
    if (c == Traits::eof()) {
      end_of_input_();
      return IDCANCEL;  // only reached when the handler lets the program go on
    }
    DiscardRestOfLine();
    if (const int result = ButtonForLetter(buttons, c); result != 0) return result;
    out_ << ButtonsLine(buttons) << ": " << std::flush;
  }
}

void ConsoleScreen::Clear() {
  if (out_is_terminal_) out_ << "\x1b[H\x1b[2J" << std::flush;
}

}  // namespace slicery
