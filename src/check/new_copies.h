// New copies of the damaged and missing disks of a set that can be rebuilt,
// written from what the check kept: each byte for byte the disk as the split
// wrote it, written and read back as the split writes a disk.
#pragma once

#include "check/checked_set.h"
#include "operation/context.h"
#include "platform/file.h"
#include "recovery/recovery_writer.h"

namespace slicery {

// Offers new copies of every damaged or missing disk of `set`, whose file is
// `kept` and whose recovery disks are made as `plan` says. For each one the
// user inserts a disk for, the copy is written; it counts as good from then
// on. Cancel at a request leaves that disk as it was. False when the user
// declines new copies.
bool WriteNewCopies(Context& ctx, CheckedSet& set, File& kept, const RecoveryPlan& plan);

}  // namespace slicery
