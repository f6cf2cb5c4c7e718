// The operation menu, shown again after each operation until the user leaves.
#pragma once

#include "operation/context.h"

namespace slicery {

// Always returns 0, the program's exit status.
int RunMenuLoop(Context& ctx);

}  // namespace slicery
