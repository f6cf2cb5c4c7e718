// The questions an operation ends with, and the outcome each answer gives.
#pragma once

#include "operation/context.h"
#include "operation/outcome.h"

namespace slicery {

// "Would you like to begin another operation?": Yes goes back to the menu.
OperationOutcome AskAnotherOperation(Context& ctx);

// "Operation complete!" with the same question: Yes goes back to the menu.
OperationOutcome AnnounceCompletion(Context& ctx);

}  // namespace slicery
