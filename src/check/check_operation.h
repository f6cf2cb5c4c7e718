// The check of a set: every disk read once, every block checked against its
// checksum, a verdict, and new copies of the disks that are lost or failing
// while the set can still rebuild them.
#pragma once

#include "operation/context.h"

namespace slicery {

// Learns the set from any of its disks, asks for each data disk and then each
// recovery disk in order, reads each once from its medium, and tells whether
// the set is whole, can be rebuilt, or cannot. Where it can be rebuilt and
// the check kept what that takes, offers to write new copies of the damaged
// and missing disks, then tells the verdict again. Writes nothing on a disk
// it checks, and nothing in the current folder. Returns the exit status:
// kSetWhole, kSetRepairable, kSetLost, or kCheckUnfinished when the user
// cancels before the set is known.
int RunCheckOperation(Context& ctx);

}  // namespace slicery
