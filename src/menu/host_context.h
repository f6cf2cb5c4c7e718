// Binds a Context to the real host: its message boxes, its volume and the
// process's console streams.
#pragma once

#include <memory>
#include <optional>

#include "operation/context.h"
#include "platform/env.h"
#include "platform/screen.h"

namespace slicery {

class HostContext {
 public:
  // Empty, after one line on standard error, when the host is misconfigured or
  // cannot take the volume given on the command line.
  // `read_back` says whether a split reads each volume back,
  // `recovery_disks` how many recovery disks it adds, and
  // `keep_split_journal` whether it keeps a journal to go on from; the
  // program ends with `end_of_input_status` when the console's input ends
  // while a dialog waits.
  static std::unique_ptr<HostContext> Open(const VolumeOverrides& volume, bool read_back,
                                           int recovery_disks = 0,
                                           bool keep_split_journal = false,
                                           int end_of_input_status = 0);

  Context& context() { return *context_; }

 private:
  std::unique_ptr<Env> env_;
  std::unique_ptr<Screen> screen_;
  std::optional<Context> context_;
};

}  // namespace slicery
