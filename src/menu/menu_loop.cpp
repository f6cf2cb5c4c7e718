#include "menu/menu_loop.h"

#include <memory>

#include "menu/host_context.h"
#include "menu/operation.h"
#include "ui/console.h"
#include "ui/dialog.h"

namespace slicery {

int RunMenuLoop() {
  std::unique_ptr<HostContext> host = HostContext::Open();
  return host ? RunMenuLoop(host->context()) : 0;
}

int RunMenuLoop(Context& ctx) {
  for (;;) {
    // 1. A clean console for every pass.
    ClearConsole(ctx);
    // 2. The menu.
    const DialogResult choice = ShowDialog(
        ctx.screen,
        "Slicerer- Hollowmere Software\nVersion 1.0\nIf you would like to Slicery a "
        "file, please click YES.\nIf you would like to reconstitute a file, please "
        "click NO.",
        "Slicery", Buttons::kYesNoCancel, Icon::kNone);
    // 3. Run the operation picked; Cancel, or anything else, ends the program.
    OperationOutcome outcome;
    if (choice == IDYES) {
      outcome = RunSplitOperation(ctx);
    } else if (choice == IDNO) {
      outcome = RunReconstituteOperation(ctx);
    } else {
      return 0;
    }
    // 4. Back to the menu, or the end.
    if (outcome == OperationOutcome::kEndProgram) return 0;
  }
}

}  // namespace slicery
