#include "operation/closing_questions.h"

#include "ui/dialog.h"

namespace slicery {
namespace {

OperationOutcome OutcomeOf(DialogResult answer) {
  return answer == DialogResult::kYes ? OperationOutcome::kBackToMenu
                                      : OperationOutcome::kEndProgram;
}

}  // namespace

OperationOutcome AskAnotherOperation(Context& ctx) {
  return OutcomeOf(ShowDialog(ctx, "Would you like to begin another operation?",
                              "Slicery", Buttons::kYesNo, Icon::kQuestion));
}

OperationOutcome AnnounceCompletion(Context& ctx) {
  return OutcomeOf(ShowDialog(ctx,
                              "\n          Operation complete!          \nWould you like "
                              "to begin another operation?",
                              "Slicery", Buttons::kYesNo, Icon::kNone));
}

}  // namespace slicery
