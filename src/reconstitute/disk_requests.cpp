// What is in the drive at the request for a data disk of a set with recovery
// disks: the disk asked for, known by its checksum file whatever its record
// says, or one of the set's recovery disks.
#include "diskset/volume.h"
#include "reconstitute/rebuild_notices.h"
#include "reconstitute/recovery_rebuild.h"
#include "ui/dialog.h"

namespace slicery {

bool RecoveryRebuild::KnownByChecksums(std::int32_t index, DiskInfoRecord* record) {
  const VolumeText text = ReadVolumeText(ctx_.env, kChecksumFileName);
  const std::optional<ChunkChecksums> sums =
      text.status == VolumeText::kRead ? ParseChunkChecksums(text.bytes) : std::nullopt;
  if (!sums || sums->set_id != set_id_ || sums->disk_index != index ||
      sums->chunk_length > kMaxChunkLength) {
    return false;
  }
  // The disk's own record, read with nothing to fall back on.
  DiskInfoRecord unfilled = *record;
  unfilled.disk_index = -1;
  unfilled.chunk_length = -1;
  unfilled.continuation_mark = '\0';
  const std::optional<DiskInfoRecord> own = ReadDiskInfo(ctx_.env, unfilled);
  const auto length = static_cast<std::int32_t>(sums->chunk_length);
  if (own && own->operation_id == set_id_ && own->disk_index == index &&
      own->chunk_length == length &&
      (own->continuation_mark == '*' || own->continuation_mark == '+')) {
    *record = *own;
    return true;
  }
  record->operation_id = set_id_;
  record->disk_index = index;
  record->chunk_length = length;
  record->continuation_mark =
      sums->chunk_offset + sums->chunk_length >= sums->file_length ? '*' : '+';
  ShowDialog(ctx_,
             "The record of " + DiskName(index) + " (" + kInfoFileName +
                 ") is damaged.\nThe disk is read by its checksum file.",
             "Slicery", Buttons::kOk, Icon::kWarning);
  return true;
}

bool RecoveryRebuild::TellRecoveryDisk(std::int32_t index) {
  const std::optional<RecoveryRecord> record = ReadRecoveryRecord(ctx_.env);
  if (!record || record->set_id != set_id_) return false;
  Learn(*record);
  ShowDialog(ctx_,
             "This is " + RecoveryDiskName(record->recovery_index) +
                 " of this set.\nRecovery disks are read after the data disks: please "
                 "insert " +
                 DiskName(index) + ", or choose Cancel to go on without it.",
             "Error", Buttons::kOk, Icon::kError);
  return true;
}

}  // namespace slicery
