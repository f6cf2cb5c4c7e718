#include "platform/console_screen.h"

#include <istream>
#include <ostream>
#include <utility>

#include "platform/text.h"

namespace slicery {
namespace {

const char* ButtonsLine(Buttons buttons) {
  switch (buttons) {
    case Buttons::kOk:
      return "[O]K";
    case Buttons::kOkCancel:
      return "[O]K / [C]ancel";
    case Buttons::kYesNoCancel:
      return "[Y]es / [N]o / [C]ancel";
    case Buttons::kYesNo:
      return "[Y]es / [N]o";
  }
  return "[O]K";
}

// The icon's name in the dialog's header; null for a dialog without one.
const char* IconName(Icon icon) {
  switch (icon) {
    case Icon::kNone:
      return nullptr;
    case Icon::kError:
      return "error";
    case Icon::kQuestion:
      return "question";
    case Icon::kWarning:
      return "warning";
  }
  return nullptr;
}

}  // namespace

ConsoleScreen::ConsoleScreen(std::istream& in, std::ostream& out, bool out_is_terminal,
                             std::function<void()> end_of_input)
    : in_(in),
      out_(out),
      out_is_terminal_(out_is_terminal),
      end_of_input_(std::move(end_of_input)) {}

std::optional<DialogResult> ConsoleScreen::ButtonForLetter(Buttons buttons, int letter) {
  const bool ok = buttons == Buttons::kOk || buttons == Buttons::kOkCancel;
  const bool cancel = buttons == Buttons::kOkCancel || buttons == Buttons::kYesNoCancel;
  const bool yes_no = buttons == Buttons::kYesNoCancel || buttons == Buttons::kYesNo;
  switch (letter) {
    case 'O':
    case 'o':
      if (ok) return DialogResult::kOk;
      break;
    case 'C':
    case 'c':
      if (cancel) return DialogResult::kCancel;
      break;
    case 'Y':
    case 'y':
      if (yes_no) return DialogResult::kYes;
      break;
    case 'N':
    case 'n':
      if (yes_no) return DialogResult::kNo;
      break;
  }
  return std::nullopt;
}

void ConsoleScreen::DiscardRestOfLine() {
  using Traits = std::istream::traits_type;
  for (int c = in_.get(); c != Traits::eof() && c != '\n'; c = in_.get()) {
  }
}

DialogResult ConsoleScreen::ShowMessageBox(const std::string& text,
                                           const std::string& caption, Buttons buttons,
                                           Icon icon) {
  out_ << "\n== " << caption;
  if (const char* name = IconName(icon)) out_ << " (" << name << ")";
  out_ << " ==\n" << text << '\n' << ButtonsLine(buttons) << ": " << std::flush;
  using Traits = std::istream::traits_type;
  for (;;) {
    int c = in_.get();
    while (c != Traits::eof() && IsWhiteSpace(c)) c = in_.get();
    if (c == Traits::eof()) {
      end_of_input_();
      // Reached only when the handler lets the program go on.
      return DialogResult::kCancel;
    }
    DiscardRestOfLine();
    if (const std::optional<DialogResult> result = ButtonForLetter(buttons, c)) {
      return *result;
    }
    out_ << ButtonsLine(buttons) << ": " << std::flush;
  }
}

void ConsoleScreen::Clear() {
  if (out_is_terminal_) out_ << "\x1b[H\x1b[2J" << std::flush;
}

}  // namespace slicery
