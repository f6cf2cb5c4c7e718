// The check's requests for the data disks of a set, in order, and the
// reading of each, once, from its medium: each block of a recovery set's disk
// against its checksum, a plain set's disk through to its end.
#pragma once

#include <cstdint>
#include <optional>

#include "check/checked_set.h"
#include "check/kept_file.h"
#include "diskset/disk_info.h"
#include "operation/context.h"
#include "operation/disk_request.h"
#include "recovery/recovery_files.h"

namespace slicery {

// Asks for data disk `index` as the rebuild does, until a disk of the set is
// in the drive in that place, and gives its record in *record (read over the
// one there). Cancel asks whether to go on without the disk: kCancelled when
// the user does.
DiskOffer RequestDataDisk(Context& ctx, CheckedSet& set, std::int32_t index,
                          DiskInfoRecord* record);

// The checksum file of the data disk in the drive, whose record is `record`,
// when it is this disk's and agrees with what the set is known to be. Marks
// the set as one with recovery disks where the disk has such a file.
std::optional<ChunkChecksums> ReadDiskChecksums(Context& ctx, CheckedSet& set,
                                                const DiskInfoRecord& record,
                                                std::int32_t index);

// Reads the data disk in the drive, whose record is `record` and whose
// checksums are `sums` (none: a plain set's disk, or checksums that cannot be
// read), and adds what it found to the set. Good blocks go to `kept`.
void ReadDataDisk(Context& ctx, CheckedSet& set, const DiskInfoRecord& record,
                  bool record_damaged, const std::optional<ChunkChecksums>& sums,
                  KeptFile* kept);

// The user goes without data disk `index`: it is added as missing where the
// set tells where its chunk lies, if need be from any recovery disk's record.
// False when nothing tells: the data disks after it cannot be asked for.
bool AddMissingDataDisk(Context& ctx, CheckedSet& set, std::int32_t index);

}  // namespace slicery
