// Message boxes drawn on a text console, for hosts that have none. A dialog is
// written as
//
//   "\n== <caption>[ (<icon>)] ==\n<text>\n<buttons>: "
//
// and answered by the first non-blank character typed, in either case.
#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "platform/dialog_types.h"
#include "platform/screen.h"

namespace slicery {

class ConsoleScreen : public Screen {
 public:
  // `end_of_input` runs when the input ends while a dialog waits; the host's
  // version ends the program, as closing the console would (status 0 at the
  // menu and in its operations).
  ConsoleScreen(std::istream& in, std::ostream& out, bool out_is_terminal,
                std::function<void()> end_of_input);

  DialogResult ShowMessageBox(const std::string& text, const std::string& caption,
                              Buttons buttons, Icon icon) override;
  void Clear() override;

 private:
  // The button picked by an answer letter, if the set offers it.
  static std::optional<DialogResult> ButtonForLetter(Buttons buttons, int letter);
  void DiscardRestOfLine();

  std::istream& in_;
  std::ostream& out_;
  bool out_is_terminal_;
  std::function<void()> end_of_input_;
};

}  // namespace slicery
