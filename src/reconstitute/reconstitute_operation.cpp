// Rebuilds a file from a disk set: learns the set from any of its volumes, then
// appends the volumes' chunks in order.
#include "reconstitute/reconstitute_operation.h"

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "diskset/block_copy.h"
#include "diskset/volume.h"
#include "operation/closing_questions.h"
#include "operation/disk_request.h"
#include "reconstitute/rebuild_target.h"
#include "reconstitute/recovery_rebuild.h"
#include "recovery/recovery_volume.h"
#include "ui/console.h"
#include "ui/dialog.h"
#include "ui/progress_meter.h"

namespace slicery {
namespace {

constexpr char kReadFailure[] =
    "Slicery has encountered a fatal error while reading the disk.\nOperation "
    "aborted.\nPartial data from the file may be available.";
constexpr char kWriteFailure[] =
    "Slicery was unable to write the reconstituted file.\nOperation aborted.\nPartial "
    "data from the file may be available.";

// The recorded path and the set id, from whichever volume of the set is
// inserted: its own index and mark do not matter. A recovery disk names its
// set too, and gives its record to *recovery; a data disk with a checksum
// file tells that the set has recovery disks. False when the user cancels.
bool IdentifySet(Context& ctx, std::string* recorded_path, OperationId* set_id,
                 std::optional<RecoveryRecord>* recovery, bool* has_recovery) {
  for (;;) {
    const DialogResult inserted = ShowDialog(ctx, "Please insert a disk into drive.",
                                             "Slicery", Buttons::kOkCancel, Icon::kNone);
    if (inserted != DialogResult::kOk) return false;
    // A record without an id names the set with id 0.
    if (const std::optional<DiskInfoRecord> identity = ReadSetIdentity(ctx.env, {})) {
      *recorded_path = identity->source_path;
      *set_id = identity->operation_id;
      *has_recovery =
          ReadVolumeText(ctx.env, kChecksumFileName).status != VolumeText::kNone;
      return true;
    }
    if (const std::optional<RecoveryRecord> record = ReadRecoveryRecord(ctx.env)) {
      *recorded_path = record->source_path;
      *set_id = record->set_id;
      *recovery = record;
      *has_recovery = true;
      return true;
    }
  }
}

enum class VolumeAppend {
  kWhole,        // the chunk is in the target
  kDamaged,      // nothing of it is: the volume is asked for again
  kCannotRead,   // the data file does not open: the program ends
  kCannotWrite,  // the target failed: the program ends
};

// A set written by this program holds data files of exactly their recorded
// lengths, so a copy that failed part-way or moved another number of bytes
// came from a damaged disk.
bool ChunkIsWhole(const CopyResult& copy, std::int32_t chunk_length) {
  return copy.status == CopyStatus::kCopied && chunk_length >= 0 &&
         copy.bytes == static_cast<std::uint64_t>(chunk_length);
}

// Appends the volume's chunk to the target, whose first `*kept` bytes are the
// whole volumes before it. A damaged chunk is cut off again, so the target
// keeps exactly those; a whole one adds its length to *kept.
VolumeAppend AppendVolume(Context& ctx, File& target, const DiskInfoRecord& record,
                          std::uint64_t* kept) {
  std::unique_ptr<File> data = ctx.env.Open(DataFilePath(ctx.env), FileMode::kReadBinary);
  if (!data) return VolumeAppend::kCannotRead;
  ProgressMeter meter(ctx.out);
  meter.Start("Reconstituting Data [");
  const CopyResult append =
      CopyBlocks(*data, target, kNoLimit, TargetDots(record.chunk_length), meter);
  data->Close();  // read only: nothing of it to keep
  if (append.status == CopyStatus::kWriteFailed) {
    EndLine(ctx);
    return VolumeAppend::kCannotWrite;
  }
  if (!ChunkIsWhole(append, record.chunk_length)) {
    EndLine(ctx);
    return target.Truncate(*kept) ? VolumeAppend::kDamaged : VolumeAppend::kCannotWrite;
  }
  meter.Finish();
  ctx.out << append.bytes << " bytes reconstituted.";
  EndLine(ctx);
  *kept += append.bytes;
  return VolumeAppend::kWhole;
}

void ReportDamagedVolume(Context& ctx) {
  ShowDialog(ctx,
             "Error: the data on this disk is damaged or incomplete.\nNothing from this "
             "disk has been kept; insert it again, or a copy of it.",
             "Error", Buttons::kOk, Icon::kError);
}

// The message of an append that ends the program; null for one that does not.
const char* FatalMessage(VolumeAppend append) {
  if (append == VolumeAppend::kCannotRead) return kReadFailure;
  if (append == VolumeAppend::kCannotWrite) return kWriteFailure;
  return nullptr;
}

// The end of the program before the rebuilt file is whole: what was joined so
// far is kept, and a file it was to replace is left as it was, with the joined
// data beside it. No further dialog: the program ends here as it always has,
// and the one that ended it (if any) already said that partial data may be
// available.
OperationOutcome EndUnfinished(Context& ctx, Target& target) {
  CloseUnfinished(ctx.env, target);
  return OperationOutcome::kEndProgram;
}

OperationOutcome EndFatally(Context& ctx, Target& target, const char* message) {
  ShowDialog(ctx, message, "Fatal error", Buttons::kOk, Icon::kError);
  return EndUnfinished(ctx, target);
}

// The whole file, synced and closed, put in the place the user chose before
// success is announced: renamed over the file it replaces, and its folder
// synced, so that the name leads to it after a power cut too.
OperationOutcome PutInPlace(Context& ctx, Target& target) {
  if (target.Replaces() && !ctx.env.Rename(target.written_path, target.place)) {
    ShowDialog(ctx,
               "Slicery was unable to replace the existing file\n" + target.path +
                   "\nwhich is unchanged.  The reconstituted file is in\n" +
                   target.written_path,
               "Fatal error", Buttons::kOk, Icon::kError);
    return OperationOutcome::kEndProgram;
  }
  if (!ctx.env.SyncFolderOf(target.place)) {
    ShowDialog(ctx, kWriteFailure, "Fatal error", Buttons::kOk, Icon::kError);
    return OperationOutcome::kEndProgram;
  }
  return AnnounceCompletion(ctx);
}

// The whole file on its medium, then in its place.
OperationOutcome Complete(Context& ctx, Target& target) {
  if (!SyncAndClose(*target.file)) return EndFatally(ctx, target, kWriteFailure);
  return PutInPlace(ctx, target);
}

}  // namespace

OperationOutcome RunReconstituteOperation(Context& ctx) {
  std::string recorded_path;
  OperationId set_id = 0;
  std::optional<RecoveryRecord> recovery_record;
  bool has_recovery = false;
  if (!IdentifySet(ctx, &recorded_path, &set_id, &recovery_record, &has_recovery)) {
    return AskAnotherOperation(ctx);
  }
  Target target;
  if (!OpenTarget(ctx, recorded_path, &target)) return AskAnotherOperation(ctx);
  // A set with recovery disks is known by a recovery disk at identification,
  // or by the checksum file of a data disk.
  RecoveryRebuild recovery(ctx, set_id, has_recovery, target.written_path);
  if (recovery_record) recovery.Learn(*recovery_record);
  // Each volume's record is read over the one before it (every field 0 and the
  // mark NUL before the first).
  DiskInfoRecord record;
  ClearConsole(ctx);
  ctx.out << "Slicery Operation: Reconstitute\nOriginal Filename: " << recorded_path
          << "\nTarget Filename:   " << target.path;
  EndLine(ctx);
  // The volumes, in order, until the one marked last.
  std::uint64_t kept = 0;  // bytes of the whole volumes joined so far
  for (std::int32_t expected_index = 0; !recovery.PastLastDisk(expected_index);) {
    const DiskOffer offer =
        AwaitDataDisk(ctx, set_id, expected_index, &record,
                      [&](const RecoveryRecord& read) { recovery.Learn(read); });
    if (offer == DiskOffer::kCancelled) {
      // Without a disk a set with recovery disks may still be rebuilt; any
      // other cancelled request ends the program, keeping what was joined.
      if (recovery.active() && recovery.GoWithout(expected_index)) {
        ++expected_index;
        continue;
      }
      return EndUnfinished(ctx, target);
    }
    const RecoveryRebuild::DiskRead read =
        recovery.ReadDataDisk(*target.file, record, expected_index);
    if (read == RecoveryRebuild::DiskRead::kTargetFailed) {
      return EndFatally(ctx, target, kWriteFailure);
    }
    if (read == RecoveryRebuild::DiskRead::kPlain) {
      const VolumeAppend append = AppendVolume(ctx, *target.file, record, &kept);
      if (const char* fatal = FatalMessage(append)) return EndFatally(ctx, target, fatal);
      if (append == VolumeAppend::kDamaged) {
        ReportDamagedVolume(ctx);
        continue;  // the same disk again
      }
      recovery.Joined(record);
    }
    ++expected_index;
    if (record.continuation_mark == '*') break;
  }
  if (!recovery.active()) return Complete(ctx, target);
  // Every block checked, what was lost rebuilt, and the file synced and closed;
  // only a whole file takes its place.
  if (const std::optional<OperationOutcome> ended = recovery.Finish(*target.file)) {
    return *ended;
  }
  return PutInPlace(ctx, target);
}

}  // namespace slicery
