#include "ui/dialog.h"

namespace slicery {

DialogResult ShowDialog(Screen& screen, const std::string& text,
                        const std::string& caption, Buttons buttons, Icon icon) {
  return screen.ShowMessageBox(text, caption, buttons, icon);
}

}  // namespace slicery
