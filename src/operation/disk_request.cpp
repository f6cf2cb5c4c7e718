#include "operation/disk_request.h"

#include <optional>

#include "diskset/volume.h"
#include "recovery/recovery_volume.h"
#include "ui/dialog.h"

namespace slicery {
namespace {

// At the request for data disk `index`: true when the volume in the drive is
// that disk by its checksum file, which names the disk and its set. Its
// record is then taken from there, and the user told when the disk's own
// record (in *record on return) is damaged, in *damaged.
bool KnownByChecksums(Context& ctx, OperationId set_id, std::int32_t index,
                      DiskInfoRecord* record, bool* damaged) {
  const VolumeText text = ReadVolumeText(ctx.env, kChecksumFileName);
  const std::optional<ChunkChecksums> sums =
      text.status == VolumeText::kRead ? ParseChunkChecksums(text.bytes) : std::nullopt;
  if (!sums || sums->set_id != set_id || sums->disk_index != index ||
      sums->chunk_length > kMaxChunkLength) {
    return false;
  }
  // The disk's own record, read with nothing to fall back on.
  DiskInfoRecord unfilled = *record;
  unfilled.disk_index = -1;
  unfilled.chunk_length = -1;
  unfilled.continuation_mark = '\0';
  const std::optional<DiskInfoRecord> own = ReadDiskInfo(ctx.env, unfilled);
  const auto length = static_cast<std::int32_t>(sums->chunk_length);
  if (own && own->operation_id == set_id && own->disk_index == index &&
      own->chunk_length == length &&
      (own->continuation_mark == '*' || own->continuation_mark == '+')) {
    *record = *own;
    return true;
  }
  record->operation_id = set_id;
  record->disk_index = index;
  record->chunk_length = length;
  record->continuation_mark =
      sums->chunk_offset + sums->chunk_length >= sums->file_length ? '*' : '+';
  *damaged = true;
  ShowDialog(ctx,
             "The record of " + DiskName(index) + " (" + kInfoFileName +
                 ") is damaged.\nThe disk is read by its checksum file.",
             "Slicery", Buttons::kOk, Icon::kWarning);
  return true;
}

// At the request for data disk `index`, a volume without a record: true when
// it is a recovery disk of this set, which the user is told.
bool TellRecoveryDisk(Context& ctx, OperationId set_id, std::int32_t index,
                      const std::function<void(const RecoveryRecord&)>& learn) {
  const std::optional<RecoveryRecord> record = ReadRecoveryRecord(ctx.env);
  if (!record || record->set_id != set_id) return false;
  learn(*record);
  ShowDialog(ctx,
             "This is " + RecoveryDiskName(record->recovery_index) +
                 " of this set.\nRecovery disks are read after the data disks: please "
                 "insert " +
                 DiskName(index) + ", or choose Cancel to go on without it.",
             "Error", Buttons::kOk, Icon::kError);
  return true;
}

// The record of the volume in the drive, read over `*record`. False when the
// user gives up on it and wants to insert a volume again, or it is a recovery
// disk of the set, which the user is told.
bool ReadVolumeRecord(Context& ctx, OperationId set_id, std::int32_t index,
                      DiskInfoRecord* record,
                      const std::function<void(const RecoveryRecord&)>& learn) {
  for (;;) {
    if (const std::optional<DiskInfoRecord> read = ReadDiskInfo(ctx.env, *record)) {
      *record = *read;
      return true;
    }
    if (TellRecoveryDisk(ctx, set_id, index, learn)) return false;
    const DialogResult again = ShowDialog(
        ctx,
        "Error: unable to read Slicery information from this disk.\nDo you want Slicery "
        "to search for the data again?",
        "Error", Buttons::kYesNo, Icon::kError);
    if (again != DialogResult::kYes) return false;
  }
}

// Whether the volume is the one wanted next: of this set (the id is tested
// first), and in its place in the order.
bool VolumeBelongsHere(Context& ctx, const DiskInfoRecord& record, OperationId set_id,
                       std::int32_t index) {
  const char* problem = nullptr;
  if (record.operation_id != set_id) {
    problem = "Error: this Slicery data on this disk is for a different file.";
  } else if (record.disk_index != index) {
    problem =
        "Error: this disk is part of the operation, but has not been inserted in the "
        "proper order.";
  }
  if (problem == nullptr) return true;
  ShowDialog(ctx, problem, "Error", Buttons::kOk, Icon::kError);
  return false;
}

}  // namespace

std::string DiskName(std::int32_t index) {
  return "Disk #" + std::to_string(std::int64_t{index} + 1);
}

std::string RecoveryDiskName(int index) {
  return "recovery disk #" + std::to_string(index + 1);
}

DiskOffer AwaitDataDisk(Context& ctx, OperationId set_id, std::int32_t index,
                        DiskInfoRecord* record,
                        const std::function<void(const RecoveryRecord&)>& learn) {
  for (;;) {
    const DialogResult inserted = ShowDialog(ctx, "Please insert " + DiskName(index),
                                             "Slicery", Buttons::kOkCancel, Icon::kNone);
    if (inserted != DialogResult::kOk) return DiskOffer::kCancelled;
    bool damaged = false;
    if (KnownByChecksums(ctx, set_id, index, record, &damaged)) {
      return damaged ? DiskOffer::kByChecksums : DiskOffer::kByRecord;
    }
    if (!ReadVolumeRecord(ctx, set_id, index, record, learn)) continue;
    if (VolumeBelongsHere(ctx, *record, set_id, index)) return DiskOffer::kByRecord;
  }
}

}  // namespace slicery
