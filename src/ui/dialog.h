// Message boxes with the program's button sets and icons.
#pragma once

#include <string>

#include "platform/host.h"

namespace slicery {

enum DialogResult { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

enum class Buttons : unsigned {
  kOk = 0x0,           // MB_OK
  kOkCancel = 0x1,     // MB_OKCANCEL
  kYesNoCancel = 0x3,  // MB_YESNOCANCEL
  kYesNo = 0x4,        // MB_YESNO
};

enum class Icon : unsigned {
  kNone = 0x0,
  kError = 0x10,     // MB_ICONERROR
  kQuestion = 0x20,  // MB_ICONQUESTION
  kWarning = 0x30,   // MB_ICONWARNING
};

inline constexpr unsigned kButtonsMask = 0xF;
inline constexpr unsigned kIconMask = 0xF0;

// Shows a modal message box and blocks until the user answers. A result that
// is not one of the four buttons reads as IDCANCEL.
DialogResult ShowDialog(Screen& screen, const std::string& text,
                        const std::string& caption, Buttons buttons, Icon icon);

}  // namespace slicery
