// What a message box offers and what it answers, in the program's own terms.
// Only the Windows host turns them into the system's flags and result codes.
#pragma once

namespace slicery {

// The button sets of a message box.
enum class Buttons { kOk, kOkCancel, kYesNoCancel, kYesNo };

// The icon of a message box, or none.
enum class Icon { kNone, kError, kQuestion, kWarning };

// The button pressed.
enum class DialogResult { kOk, kCancel, kYes, kNo };

}  // namespace slicery
