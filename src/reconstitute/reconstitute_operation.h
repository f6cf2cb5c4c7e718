// The rebuild: a file joined again from the volumes of a disk set.
#pragma once

#include "operation/context.h"
#include "operation/outcome.h"

namespace slicery {

// Learns the set from any of its volumes, lets the user choose where the file
// goes, then asks for the volumes in order and appends each one's chunk.
OperationOutcome RunReconstituteOperation(Context& ctx);

}  // namespace slicery
