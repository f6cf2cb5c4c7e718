#include "ui/dialog.h"

namespace slicery {

DialogResult ShowDialog(Screen& screen, const std::string& text,
                        const std::string& caption, Buttons buttons, Icon icon) {
  const unsigned flags = static_cast<unsigned>(buttons) | static_cast<unsigned>(icon);
  switch (screen.ShowMessageBox(text, caption, flags)) {
    case IDOK:
      return IDOK;
    case IDYES:
      return IDYES;
    case IDNO:
      return IDNO;
    default:
      return IDCANCEL;
  }
}

}  // namespace slicery
