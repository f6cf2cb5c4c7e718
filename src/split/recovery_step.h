// The split's last step for a set with recovery disks: once every data disk
// is written, the recovery disks, one at a time.
#pragma once

#include <optional>

#include "diskset/volume_writer.h"
#include "operation/context.h"
#include "platform/file.h"
#include "recovery/checksum_companion.h"
#include "split/journal_keeper.h"

namespace slicery {

// Asks for the set's recovery disks, from the first that `journal` has not
// seen written, and writes each from the source read again. True when every
// one is written; false when the set ends with fewer, which the user has been
// told (the data disks are complete either way, unless the source changed).
bool AddRecoveryDisks(Context& ctx, const VolumeFields& set, SplitSource& source,
                      const ChecksumCompanion& checksums, JournalKeeper& journal);

}  // namespace slicery
