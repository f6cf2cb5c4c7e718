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

// A location that cannot take the file: true when the user will choose another.
bool RetryLocation(Context& ctx) {
  return ShowDialog(ctx,
                    "Slicery cannot reconstitute the file at this location.\nPlease "
                    "specify a different location.",
                    "Error", Buttons::kOkCancel, Icon::kError) == DialogResult::kOk;
}

// What is at a location the rebuilt file might be written to.
enum class Location {
  kFree,      // nothing yet
  kExisting,  // something the user may agree to have replaced
  kRefused,   // never written over: a folder, a pipe or socket (opening one
              // waits for another program), or one of the volume's own files
};

Location ExamineLocation(Env& env, const std::string& path) {
  const FileKind kind = env.KindOf(path);
  if (kind == FileKind::kDirectory || kind == FileKind::kOther) return Location::kRefused;
  if (IsVolumeFile(env, path)) return Location::kRefused;
  // Anything there, even what cannot be read, is replaced only with consent.
  return env.Exists(path) ? Location::kExisting : Location::kFree;
}

bool ConfirmOverwrite(Context& ctx) {
  return ShowDialog(ctx, "File already exists.  Do you wish to overwrite it?", "Slicery",
                    Buttons::kYesNo, Icon::kQuestion) == DialogResult::kYes;
}

// A location typed by the user, checked or created; *existing tells whether
// something was there that the user agreed to have replaced. False on cancel.
bool ChooseLocation(Context& ctx, std::string* target_path, bool* existing) {
  for (;;) {
    ctx.out << "Please enter desired location to reconstitute.";
    EndLine(ctx);
    if (ReadTypedPath(ctx, target_path)) {
      const Location location = ExamineLocation(ctx.env, *target_path);
      *existing = location == Location::kExisting;
      if (location == Location::kExisting) {
        if (ConfirmOverwrite(ctx)) return true;
        continue;
      }
      // A new location gets an empty file at once, which proves it can be
      // created and stays even if the user cancels before the first volume.
      if (location == Location::kFree) {
        std::unique_ptr<File> created = ctx.env.Open(*target_path, FileMode::kWriteText);
        if (created && created->Close()) return true;
      }
    }
    if (!RetryLocation(ctx)) return false;
  }
}

enum class RecordedChoice { kUse, kReplace, kChooseAnother, kCancel };

// The recorded path, checked like a typed one: on the machine that made the
// set it is usually the original file, which is replaced only with consent.
RecordedChoice CheckRecordedPath(Context& ctx, const std::string& recorded_path) {
  switch (ExamineLocation(ctx.env, recorded_path)) {
    case Location::kFree:
      return RecordedChoice::kUse;
    case Location::kExisting:
      return ConfirmOverwrite(ctx) ? RecordedChoice::kReplace
                                   : RecordedChoice::kChooseAnother;
    case Location::kRefused:
      break;
  }
  return RetryLocation(ctx) ? RecordedChoice::kChooseAnother : RecordedChoice::kCancel;
}

// Where the rebuilt file goes, and the file it is written into until it is
// whole: the location itself, or a new file beside a file that it replaces.
struct Target {
  std::string path;
  std::string written_path;
  std::unique_ptr<File> file;

  bool Replaces() const { return written_path != path; }
};

// The new file beside a file that is to be replaced: its name with this
// program's suffix, or, where a file of that name is there already (left by
// an earlier rebuild, say), with a number after it. Whatever is there is
// never written over.
constexpr char kPartialSuffix[] = ".slicery-partial";
constexpr int kPartialNames = 100;

bool CreateBeside(Env& env, Target* target) {
  for (int n = 1; n <= kPartialNames; ++n) {
    std::string name = target->path + kPartialSuffix;
    if (n > 1) name += "-" + std::to_string(n);
    target->file = env.CreateNew(name, target->path);
    if (target->file) {
      target->written_path = name;
      return true;
    }
  }
  return false;
}

// Opens the file the rebuilt file is written into. A file that the user
// agreed to have replaced stays as it is until the new one is whole; it must
// take writes all the same, as it would if it were written over in place.
// What is not a plain file (a device) is written as it stands. False when the
// location will not take the file.
bool OpenTargetFile(Env& env, bool existing, Target* target) {
  if (existing && env.KindOf(target->path) == FileKind::kRegular) {
    std::unique_ptr<File> old = env.Open(target->path, FileMode::kUpdateBinary);
    return old && old->Close() && CreateBeside(env, target);
  }
  target->written_path = target->path;
  target->file = env.Open(target->path, FileMode::kWriteBinary);
  return target->file != nullptr;
}

// The recorded path or another location, opened for the rebuilt file. False
// when the user cancels.
bool OpenTarget(Context& ctx, const std::string& recorded_path, Target* target) {
  const DialogResult here =
      ShowDialog(ctx,
                 "This operation contains a file entitled\n" + recorded_path +
                     "\nWould you like to reconstitute the file at this location?",
                 "Slicery", Buttons::kYesNo, Icon::kQuestion);
  RecordedChoice recorded = RecordedChoice::kChooseAnother;
  if (here == DialogResult::kYes) recorded = CheckRecordedPath(ctx, recorded_path);
  if (recorded == RecordedChoice::kCancel) return false;
  for (;;) {
    bool existing = false;
    if (recorded == RecordedChoice::kUse || recorded == RecordedChoice::kReplace) {
      target->path = recorded_path;
      existing = recorded == RecordedChoice::kReplace;
      recorded = RecordedChoice::kChooseAnother;
    } else if (!ChooseLocation(ctx, &target->path, &existing)) {
      return false;
    }
    // A location that will not open is chosen again.
    if (OpenTargetFile(ctx.env, existing, target)) return true;
    if (!RetryLocation(ctx)) return false;
  }
}

// The record of the volume in the drive, read over the previous volume's: a
// field that a damaged record does not supply keeps the previous value. False
// when the user gives up on it and wants to insert a volume again.
bool ReadVolumeRecord(Context& ctx, DiskInfoRecord* record) {
  for (;;) {
    if (const std::optional<DiskInfoRecord> read = ReadDiskInfo(ctx.env, *record)) {
      *record = *read;
      return true;
    }
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
  ShowDialog(ctx, problem, "Error", Buttons::kOk, Icon::kError);
  return false;
}

// Asks for the volume wanted next until one passes the tests, and gives its
// record. False when the user cancels the request.
bool AwaitVolume(Context& ctx, OperationId set_id, std::int32_t expected_index,
                 DiskInfoRecord* record) {
  for (;;) {
    const DialogResult inserted = ShowDialog(
        ctx, "Please insert Disk #" + std::to_string(std::int64_t{expected_index} + 1),
        "Slicery", Buttons::kOkCancel, Icon::kNone);
    if (inserted != DialogResult::kOk) return false;
    if (!ReadVolumeRecord(ctx, record)) continue;
    if (VolumeBelongsHere(ctx, *record, set_id, expected_index)) return true;
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
OperationOutcome EndUnfinished(Target& target) {
  target.file->Close();
  return OperationOutcome::kEndProgram;
}

OperationOutcome EndFatally(Context& ctx, Target& target, const char* message) {
  ShowDialog(ctx, message, "Fatal error", Buttons::kOk, Icon::kError);
  return EndUnfinished(target);
}

// The whole file, synced and closed, put in the place the user chose before
// success is announced: renamed over the file it replaces, and its folder
// synced, so that the name leads to it after a power cut too.
OperationOutcome PutInPlace(Context& ctx, Target& target) {
  if (target.Replaces() && !ctx.env.Rename(target.written_path, target.path)) {
    ShowDialog(ctx,
               "Slicery was unable to replace the existing file\n" + target.path +
                   "\nwhich is unchanged.  The reconstituted file is in\n" +
                   target.written_path,
               "Fatal error", Buttons::kOk, Icon::kError);
    return OperationOutcome::kEndProgram;
  }
  if (!ctx.env.SyncFolderOf(target.path)) {
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
  RecoveryRebuild recovery(ctx, set_id, has_recovery);
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
    if (!AwaitVolume(ctx, set_id, expected_index, &record)) {
      // Without a disk a set with recovery disks may still be rebuilt; any
      // other cancelled request ends the program, keeping what was joined.
      if (recovery.active() && recovery.GoWithout(expected_index)) {
        ++expected_index;
        continue;
      }
      return EndUnfinished(target);
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
    }
    ++expected_index;
    if (record.continuation_mark == '*') break;
  }
  if (!recovery.active()) return Complete(ctx, target);
  // Every block checked, what was lost rebuilt, and the file synced and closed;
  // only a whole file takes its place.
  if (const std::optional<OperationOutcome> ended =
          recovery.Finish(*target.file, target.written_path)) {
    return *ended;
  }
  return PutInPlace(ctx, target);
}

}  // namespace slicery
