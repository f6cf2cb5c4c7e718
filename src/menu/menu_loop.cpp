#include "menu/menu_loop.h"

#include "operation/outcome.h"
#include "reconstitute/reconstitute_operation.h"
#include "split/split_operation.h"
#include "ui/console.h"
#include "ui/dialog.h"

namespace slicery {

int RunMenuLoop(Context& ctx) {
  for (;;) {
    // Each pass starts on a clean console; each operation starts afresh.
    ClearConsole(ctx);
    const DialogResult choice = ShowDialog(
        ctx,
        "Slicerer- Hollowmere Software\nVersion 1.0\nIf you would like to Slicery a "
        "file, please click YES.\nIf you would like to reconstitute a file, please "
        "click NO.",
        "Slicery", Buttons::kYesNoCancel, Icon::kNone);
    OperationOutcome outcome;
    if (choice == DialogResult::kYes) {
      outcome = RunSplitOperation(ctx);
    } else if (choice == DialogResult::kNo) {
      outcome = RunReconstituteOperation(ctx);
    } else {
      return 0;  // Cancel, or the box closed any other way
    }
    if (outcome == OperationOutcome::kEndProgram) return 0;
  }
}

}  // namespace slicery
