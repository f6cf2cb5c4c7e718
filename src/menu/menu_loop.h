// The operation menu, shown again after each operation until the user leaves.
#pragma once

#include "ui/context.h"

namespace slicery {

// Runs the menu on the real host. Always returns 0, the program's exit status.
int RunMenuLoop();

int RunMenuLoop(Context& ctx);

}  // namespace slicery
