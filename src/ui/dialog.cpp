#include "ui/dialog.h"

#include "platform/screen.h"

namespace slicery {

DialogResult ShowDialog(Console& console, const std::string& text,
                        const std::string& caption, Buttons buttons, Icon icon) {
  return console.screen.ShowMessageBox(text, caption, buttons, icon);
}

}  // namespace slicery
