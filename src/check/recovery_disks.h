// The check's requests for the recovery disks of a set, in order, and the
// reading of each, once, from its medium, each block against its checksum.
#pragma once

#include <optional>
#include <vector>

#include "check/checked_set.h"
#include "check/kept_file.h"
#include "operation/context.h"
#include "recovery/recovery_files.h"
#include "recovery/stripe_repair.h"

namespace slicery {

// Asks for recovery disk `index` (from 0) until it is in the drive. Its
// record; nothing when the user goes without it.
std::optional<RecoveryRecord> AwaitRecoveryDisk(Context& ctx, CheckedSet& set, int index);

// Reads the recovery disk in the drive, whose record is `record`, and adds
// what it found to the set. Its good blocks of `stripes`, the stripes with bad
// data blocks, go to `kept`.
void ReadRecoveryDisk(Context& ctx, CheckedSet& set, const RecoveryRecord& record,
                      const std::vector<DamagedStripe>& stripes, KeptFile* kept);

// The user goes without recovery disk `index`: every block of it counts as bad.
void AddMissingRecoveryDisk(Context& ctx, CheckedSet& set, int index);

}  // namespace slicery
