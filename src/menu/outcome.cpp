#include <memory>

#include "menu/host_context.h"
#include "menu/operation.h"
#include "ui/dialog.h"

namespace slicery {

OperationOutcome AskAnotherOperation(Context& ctx) {
  const DialogResult answer =
      ShowDialog(ctx.screen, "Would you like to begin another operation?", "Slicery",
                 Buttons::kYesNo, Icon::kQuestion);
  return answer == IDYES ? OperationOutcome::kBackToMenu : OperationOutcome::kEndProgram;
}

OperationOutcome AnnounceCompletion(Context& ctx) {
  const DialogResult answer = ShowDialog(
      ctx.screen,
      "\n          Operation complete!          \nWould you like to begin another "
      "operation?",
      "Slicery", Buttons::kYesNo, Icon::kNone);
  return answer == IDYES ? OperationOutcome::kBackToMenu : OperationOutcome::kEndProgram;
}

OperationOutcome RunSplitOperation() {
  std::unique_ptr<HostContext> host = HostContext::Open();
  return host ? RunSplitOperation(host->context()) : OperationOutcome::kEndProgram;
}

OperationOutcome RunReconstituteOperation() {
  std::unique_ptr<HostContext> host = HostContext::Open();
  return host ? RunReconstituteOperation(host->context()) : OperationOutcome::kEndProgram;
}

}  // namespace slicery
