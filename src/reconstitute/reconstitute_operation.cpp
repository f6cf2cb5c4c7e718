// Rebuilds a file from a disk set: learns the set from any of its volumes, then
// appends the volumes' chunks in order.
#include "reconstitute/reconstitute_operation.h"

#include <memory>
#include <ostream>
#include <string>

#include "diskset/volume.h"
#include "operation/block_copy.h"
#include "operation/closing_questions.h"
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
// inserted: its own index and mark do not matter. False when the user cancels.
bool IdentifySet(Context& ctx, std::string* recorded_path, OperationId* set_id) {
  for (;;) {
    const DialogResult inserted =
        ShowDialog(ctx.screen, "Please insert a disk into drive.", "Slicery",
                   Buttons::kOkCancel, Icon::kNone);
    if (inserted != DialogResult::kOk) return false;
    if (ReadSetIdentity(ctx.env, recorded_path, set_id)) return true;
  }
}

// A location that cannot take the file: true when the user will choose another.
bool RetryLocation(Context& ctx) {
  return ShowDialog(ctx.screen,
                    "Slicery cannot reconstitute the file at this location.\nPlease "
                    "specify a different location.",
                    "Error", Buttons::kOkCancel, Icon::kError) == DialogResult::kOk;
}

// A location typed by the user, checked or created. False on cancel.
bool ChooseLocation(Context& ctx, std::string* target_path) {
  for (;;) {
    ctx.out << "Please enter desired location to reconstitute.";
    EndLine(ctx.out);
    if (ReadTypedPath(ctx, target_path)) {
      // An existing file is replaced only with consent.
      if (std::unique_ptr<File> existing =
              ctx.env.Open(*target_path, FileMode::kReadText)) {
        existing->Close();
        const DialogResult overwrite =
            ShowDialog(ctx.screen, "File already exists.  Do you wish to overwrite it?",
                       "Slicery", Buttons::kYesNo, Icon::kQuestion);
        if (overwrite == DialogResult::kYes) return true;
        continue;
      }
      // A new location gets an empty file at once, which proves it can be
      // created and stays even if the user cancels before the first volume.
      std::unique_ptr<File> created = ctx.env.Open(*target_path, FileMode::kWriteText);
      if (created && created->Close()) return true;
    }
    if (!RetryLocation(ctx)) return false;
  }
}

// The recorded path or another location, opened (and emptied) for the
// rebuilt file. Null when the user cancels.
std::unique_ptr<File> OpenTarget(Context& ctx, const std::string& recorded_path,
                                 std::string* target_path) {
  const DialogResult here =
      ShowDialog(ctx.screen,
                 "This operation contains a file entitled\n" + recorded_path +
                     "\nWould you like to reconstitute the file at this location?",
                 "Slicery", Buttons::kYesNo, Icon::kQuestion);
  bool use_recorded = here == DialogResult::kYes;
  for (;;) {
    if (use_recorded) {
      *target_path = recorded_path;
      use_recorded = false;
    } else if (!ChooseLocation(ctx, target_path)) {
      return nullptr;
    }
    // A location that will not open is chosen again.
    if (std::unique_ptr<File> target =
            ctx.env.Open(*target_path, FileMode::kWriteBinary)) {
      return target;
    }
    if (!RetryLocation(ctx)) return nullptr;
  }
}

// The record of the volume in the drive. False when the user gives up on it
// and wants to insert a volume again.
bool ReadVolumeRecord(Context& ctx, DiskInfoRecord* record) {
  for (;;) {
    if (ReadDiskInfo(ctx.env, record)) return true;
    const DialogResult again = ShowDialog(
        ctx.screen,
        "Error: unable to read Slicery information from this disk.\nDo you want Slicery "
        "to search for the data again?",
        "Error", Buttons::kYesNo, Icon::kError);
    if (again != DialogResult::kYes) return false;
  }
}

// Whether the volume is the one wanted next: of this set (the id is tested
// first), and in its place in the order.
bool VolumeBelongsHere(Context& ctx, const DiskInfoRecord& record, OperationId set_id,
                       std::int32_t expected_index) {
  const char* problem = nullptr;
  if (record.operation_id != set_id) {
    problem = "Error: this Slicery data on this disk is for a different file.";
  } else if (record.disk_index != expected_index) {
    problem =
        "Error: this disk is part of the operation, but has not been inserted in the "
        "proper order.";
  }
  if (problem == nullptr) return true;
  ShowDialog(ctx.screen, problem, "Error", Buttons::kOk, Icon::kError);
  return false;
}

// Asks for the volume wanted next until one passes the tests, and gives its
// record. False when the user cancels the request.
bool AwaitVolume(Context& ctx, OperationId set_id, std::int32_t expected_index,
                 DiskInfoRecord* record) {
  for (;;) {
    const DialogResult inserted = ShowDialog(
        ctx.screen,
        "Please insert Disk #" + std::to_string(std::int64_t{expected_index} + 1),
        "Slicery", Buttons::kOkCancel, Icon::kNone);
    if (inserted != DialogResult::kOk) return false;
    if (!ReadVolumeRecord(ctx, record)) continue;
    if (VolumeBelongsHere(ctx, *record, set_id, expected_index)) return true;
  }
}

// Appends the volume's chunk to the target. Null on success, otherwise the
// message of the failure that ends the program. Every byte of the data file is
// appended; the record's chunk length only paces the dots.
const char* AppendVolume(Context& ctx, File& target, const DiskInfoRecord& record) {
  std::unique_ptr<File> data = ctx.env.Open(DataFilePath(ctx.env), FileMode::kReadBinary);
  if (!data) return kReadFailure;
  ProgressMeter meter(ctx.out);
  meter.Start("Reconstituting Data [");
  const CopyResult append =
      CopyBlocks(*data, target, kNoLimit, TargetDots(record.chunk_length), meter);
  data->Close();  // read only: nothing of it to keep
  if (append.status != CopyStatus::kCopied) {
    EndLine(ctx.out);
    return append.status == CopyStatus::kReadFailed ? kReadFailure : kWriteFailure;
  }
  meter.Finish();
  ctx.out << append.bytes << " bytes reconstituted.";
  EndLine(ctx.out);
  return nullptr;
}

// The end of the program after a failure: what was joined so far is kept.
OperationOutcome EndFatally(Context& ctx, File& target, const char* message) {
  ShowDialog(ctx.screen, message, "Fatal error", Buttons::kOk, Icon::kError);
  target.Close();
  return OperationOutcome::kEndProgram;
}

}  // namespace

OperationOutcome RunReconstituteOperation(Context& ctx) {
  std::string recorded_path;
  OperationId set_id = 0;
  if (!IdentifySet(ctx, &recorded_path, &set_id)) return AskAnotherOperation(ctx);
  std::string target_path;
  std::unique_ptr<File> target = OpenTarget(ctx, recorded_path, &target_path);
  if (!target) return AskAnotherOperation(ctx);
  // One record for every volume, read into again and again: a field that a
  // damaged record does not supply keeps the previous volume's value (every
  // field 0 and the mark NUL before the first).
  DiskInfoRecord record;
  ClearConsole(ctx);
  ctx.out << "Slicery Operation: Reconstitute\nOriginal Filename: " << recorded_path
          << "\nTarget Filename:   " << target_path;
  EndLine(ctx.out);
  // The volumes, in order, until the one marked last.
  for (std::int32_t expected_index = 0;; ++expected_index) {
    // A cancelled request ends the program, keeping what was joined so far.
    if (!AwaitVolume(ctx, set_id, expected_index, &record)) {
      target->Close();
      return OperationOutcome::kEndProgram;
    }
    if (const char* failure = AppendVolume(ctx, *target, record)) {
      return EndFatally(ctx, *target, failure);
    }
    if (record.continuation_mark != '*') continue;
    // The whole file on its medium before success is announced.
    if (!SyncAndClose(*target)) return EndFatally(ctx, *target, kWriteFailure);
    return AnnounceCompletion(ctx);
  }
}

}  // namespace slicery
