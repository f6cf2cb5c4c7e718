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
// seen written, and writes each from the source read again. The number
// written in all: every one, or fewer when the set ends with fewer, which the
// user has been told. Nothing when the source changed or could not be read
// on: the split is aborted.
std::optional<int> AddRecoveryDisks(Context& ctx, const VolumeFields& set,
                                    SplitSource& source,
                                    const ChecksumCompanion& checksums,
                                    JournalKeeper& journal);

// Writes the console line that ends a split with recovery disks: the set's
// `data_disks` data disks and the `recovery_disks` of `asked` recovery disks
// written, as the rebuild asks for them, so that the user can label them.
void TellTheSet(Context& ctx, int data_disks, int recovery_disks, int asked);

}  // namespace slicery
