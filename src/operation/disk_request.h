// The request for a data disk of a set, as the rebuild and the check make it:
// the disk asked for by its number until a disk of the set is in the drive in
// that place. A disk of another set, or out of order, is refused; a disk of a
// set with recovery disks is known by its checksum file too, whatever its
// record says; a recovery disk of the set is named.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "diskset/disk_info.h"
#include "operation/context.h"
#include "recovery/recovery_files.h"

namespace slicery {

// "Disk #3" for data disk index 2.
std::string DiskName(std::int32_t index);
// "recovery disk #1" for recovery disk index 0.
std::string RecoveryDiskName(int index);

enum class DiskOffer {
  kCancelled,    // the user cancelled the request
  kByRecord,     // the disk in the drive is the one asked for, by its record
  kByChecksums,  // it is, by its checksum file: its own record is damaged,
                 // which the user has been told
};

// Asks for data disk `index` of the set `set_id` until it is in the drive,
// and gives its record in *record, read over the record given there (a field
// a damaged record does not supply keeps that value). The record of a
// recovery disk of the set, offered instead, goes to `learn`.
DiskOffer AwaitDataDisk(Context& ctx, OperationId set_id, std::int32_t index,
                        DiskInfoRecord* record,
                        const std::function<void(const RecoveryRecord&)>& learn);

}  // namespace slicery
