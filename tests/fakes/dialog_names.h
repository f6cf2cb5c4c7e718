// The names of the dialog vocabulary in test messages, so that a failed
// comparison says "kYesNo" rather than the enum's bytes.
#pragma once

#include <ostream>

#include "platform/dialog_types.h"

namespace slicery {

inline void PrintTo(Buttons buttons, std::ostream* out) {
  const char* const names[] = {"kOk", "kOkCancel", "kYesNoCancel", "kYesNo"};
  *out << "Buttons::" << names[static_cast<int>(buttons)];
}

inline void PrintTo(Icon icon, std::ostream* out) {
  const char* const names[] = {"kNone", "kError", "kQuestion", "kWarning"};
  *out << "Icon::" << names[static_cast<int>(icon)];
}

inline void PrintTo(DialogResult result, std::ostream* out) {
  const char* const names[] = {"kOk", "kCancel", "kYes", "kNo"};
  *out << "DialogResult::" << names[static_cast<int>(result)];
}

}  // namespace slicery
