// Rebuilds a file from a disk set: learns the set from any of its volumes, then
// appends the volumes' chunks in order.
#include <memory>
#include <ostream>
#include <string>

#include "diskset/volume.h"
#include "menu/operation.h"
#include "reconstitute/chunk_append.h"
#include "ui/console.h"
#include "ui/dialog.h"

namespace slicery {
namespace {

constexpr char kReadFailure[] =
    "Slicery has encountered a fatal error while reading the disk.\nOperation "
    "aborted.\nPartial data from the file may be available.";
constexpr char kWriteFailure[] =
    "Slicery was unable to write the reconstituted file.\nOperation aborted.\nPartial "
    "data from the file may be available.";

// Step 1: the recorded path and the set id from whatever volume is inserted.
// False when the user cancels.
bool IdentifySet(Context& ctx, std::string* recorded_path, OperationId* set_id) {
  for (;;) {
    const DialogResult inserted =
        ShowDialog(ctx.screen, "Please insert a disk into drive.", "Slicery",
                   Buttons::kOkCancel, Icon::kNone);
    if (inserted != IDOK) return false;
    if (ReadSetIdentity(ctx.env, recorded_path, set_id)) return true;
  }
}

// A location that cannot take the file: true when the user will choose another.
bool RetryLocation(Context& ctx) {
  return ShowDialog(ctx.screen,
                    "Slicery cannot reconstitute the file at this location.\nPlease "
                    "specify a different location.",
                    "Error", Buttons::kOkCancel, Icon::kError) == IDOK;
}

// Step 3: a location typed by the user, checked or created. False on cancel.
bool ChooseLocation(Context& ctx, std::string* target_path) {
  for (;;) {
    ctx.out << "Please enter desired location to reconstitute.";
    EndLine(ctx.out);
    if (ReadTypedPath(ctx, target_path)) {
      // (c) An existing file is replaced only with consent.
      if (std::unique_ptr<File> existing =
              ctx.env.Open(*target_path, FileMode::kReadText)) {
        existing->Close();
        const DialogResult overwrite =
            ShowDialog(ctx.screen, "File already exists.  Do you wish to overwrite it?",
                       "Slicery", Buttons::kYesNo, Icon::kQuestion);
        if (overwrite == IDYES) return true;
        continue;
      }
      // (d) A new location gets an empty file at once.
      std::unique_ptr<File> created = ctx.env.Open(*target_path, FileMode::kWriteText);
      if (created && created->Close()) return true;
    }
    if (!RetryLocation(ctx)) return false;
  }
}

// Steps 2 to 4: the opened target, or null when the user cancels.
std::unique_ptr<File> OpenTarget(Context& ctx, const std::string& recorded_path,
                                 std::string* target_path) {
  // 2. The recorded path, or another location.
  const DialogResult here =
      ShowDialog(ctx.screen,
                 "This operation contains a file entitled\n" + recorded_path +
                     "\nWould you like to reconstitute the file at this location?",
                 "Slicery", Buttons::kYesNo, Icon::kQuestion);
  bool use_recorded = here == IDYES;
  for (;;) {
    if (use_recorded) {
      *target_path = recorded_path;
      use_recorded = false;
    } else if (!ChooseLocation(ctx, target_path)) {
      return nullptr;
    }
    // 4. Truncate and open; a location that will not open is chosen again.
    if (std::unique_ptr<File> target =
            ctx.env.Open(*target_path, FileMode::kWriteBinary)) {
      return target;
    }
    if (!RetryLocation(ctx)) return nullptr;
  }
}

// Step 5b: false when the user gives up on this volume's record.
bool ReadVolumeRecord(Context& ctx, DiskInfoRecord* record) {
  for (;;) {
    if (ReadDiskInfo(ctx.env, record)) return true;
    const DialogResult again = ShowDialog(
        ctx.screen,
        "Error: unable to read Slicery information from this disk.\nDo you want Slicery "
        "to search for the data again?",
        "Error", Buttons::kYesNo, Icon::kError);
    if (again != IDYES) return false;
  }
}

// Steps 5c and 5d: the id test first, then the order.
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

// Steps 5a to 5d: the record of the volume wanted next. False when the user
// cancels the request.
bool AwaitVolume(Context& ctx, OperationId set_id, std::int32_t expected_index,
                 DiskInfoRecord* record) {
  for (;;) {
    const DialogResult inserted = ShowDialog(
        ctx.screen,
        "Please insert Disk #" + std::to_string(std::int64_t{expected_index} + 1),
        "Slicery", Buttons::kOkCancel, Icon::kNone);
    if (inserted != IDOK) return false;
    if (!ReadVolumeRecord(ctx, record)) continue;
    if (VolumeBelongsHere(ctx, *record, set_id, expected_index)) return true;
  }
}

// Steps 5e to 5h: appends the volume's chunk. Null on success, otherwise the
// message of the failure that ends the program.
const char* AppendVolume(Context& ctx, File& target, const DiskInfoRecord& record) {
  std::unique_ptr<File> data = ctx.env.Open(DataFilePath(ctx.env), FileMode::kReadBinary);
  if (!data) return kReadFailure;
  ProgressMeter meter(ctx.out);
  meter.Start("Reconstituting Data [");
  const ChunkAppend append =
      AppendChunk(*data, target, record.chunk_length, meter, ctx.out);
  data->Close();  // read only: nothing of it to keep
  if (append.status != AppendStatus::kAppended) {
    EndLine(ctx.out);
    return append.status == AppendStatus::kReadFailed ? kReadFailure : kWriteFailure;
  }
  meter.Finish();
  ctx.out << append.total << " bytes reconstituted.";
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
  // 1. Identify the set.
  if (!IdentifySet(ctx, &recorded_path, &set_id)) return AskAnotherOperation(ctx);
  // 2 to 4. Choose and open the target, and write the header.
  std::string target_path;
  std::unique_ptr<File> target = OpenTarget(ctx, recorded_path, &target_path);
  if (!target) return AskAnotherOperation(ctx);
  DiskInfoRecord record;  // every field 0, the mark NUL, before the first volume
  ClearConsole(ctx);
  ctx.out << "Slicery Operation: Reconstitute\nOriginal Filename: " << recorded_path
          << "\nTarget Filename:   " << target_path;
  EndLine(ctx.out);
  // 5. The volumes, in order, until the one marked last.
  for (std::int32_t expected_index = 0;; ++expected_index) {
    // (a) to (d): a cancelled request ends the program, keeping what was joined.
    if (!AwaitVolume(ctx, set_id, expected_index, &record)) {
      target->Close();
      return OperationOutcome::kEndProgram;
    }
    // (e) to (h)
    if (const char* failure = AppendVolume(ctx, *target, record)) {
      return EndFatally(ctx, *target, failure);
    }
    // (i) and (j)
    if (record.continuation_mark != '*') continue;
    // (k) The whole file on its medium before success is announced.
    if (!SyncAndClose(*target)) return EndFatally(ctx, *target, kWriteFailure);
    return AnnounceCompletion(ctx);
  }
}

}  // namespace slicery
