// Message boxes and the console clear. One implementation per host: native
// message boxes on Windows, the console's own (console_screen.h) elsewhere;
// tests supply fakes of the same interface.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "platform/dialog_types.h"

namespace slicery {

class Screen {
 public:
  virtual ~Screen() = default;
  // Shows a modal message box with the given buttons and icon and returns the
  // button pressed. Closing the box any other way reads as Cancel.
  virtual DialogResult ShowMessageBox(const std::string& text, const std::string& caption,
                                      Buttons buttons, Icon icon) = 0;
  virtual void Clear() = 0;
};

// The host's message boxes, over the console streams where the host has none.
// There, the end of the input while a dialog waits ends the program with
// `end_of_input_status`, as closing the console would.
std::unique_ptr<Screen> NewHostScreen(std::istream& in, std::ostream& out,
                                      int end_of_input_status);

}  // namespace slicery
