// The split: one source file written across as many volumes as it takes.
#pragma once

#include "operation/context.h"
#include "operation/outcome.h"

namespace slicery {

// Asks for a source file, then for volumes until the whole source is on them:
// on each a chunk, its record and the empty probe file.
OperationOutcome RunSplitOperation(Context& ctx);

}  // namespace slicery
