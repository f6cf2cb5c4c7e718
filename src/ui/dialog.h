// Message boxes with the program's button sets and icons.
#pragma once

#include <string>

#include "platform/dialog_types.h"
#include "ui/console.h"

namespace slicery {

// Shows a modal message box and blocks until the user answers.
DialogResult ShowDialog(Console& console, const std::string& text,
                        const std::string& caption, Buttons buttons, Icon icon);

}  // namespace slicery
