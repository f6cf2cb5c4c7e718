// What the two operations return to the menu, and their entry points.
#pragma once

#include "ui/context.h"

namespace slicery {

enum class OperationOutcome {
  kBackToMenu,  // the user asked for another operation
  kEndProgram,  // the user declined one, cancelled a volume request, or a fatal error
};

// Entry points bound to the real host.
OperationOutcome RunSplitOperation();
OperationOutcome RunReconstituteOperation();

// The same operations over a given context.
OperationOutcome RunSplitOperation(Context& ctx);
OperationOutcome RunReconstituteOperation(Context& ctx);

// "Would you like to begin another operation?": Yes goes back to the menu.
OperationOutcome AskAnotherOperation(Context& ctx);

// "Operation complete!" with the same question: Yes goes back to the menu.
OperationOutcome AnnounceCompletion(Context& ctx);

}  // namespace slicery
