// Writes one source file across as many volumes as it takes: one chunk and one
// record per volume, until the source is used up.
#include "split/split_operation.h"

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "diskset/volume.h"
#include "diskset/volume_writer.h"
#include "operation/closing_questions.h"
#include "operation/volume_checks.h"
#include "recovery/checksum_companion.h"
#include "split/journal_keeper.h"
#include "split/recovery_step.h"
#include "ui/console.h"
#include "ui/dialog.h"
#include "ui/progress_meter.h"

namespace slicery {
namespace {

// What one split operation holds from the source's opening to its end.
struct SplitState {
  explicit SplitState(Context& ctx) : journal(ctx) {}
  VolumeFields fields;  // path, id and the index of the next volume written
  std::unique_ptr<File> source;
  bool source_done = false;  // the volume holding the source's end is written
  // With recovery disks: the checksum file of each data disk, and what the
  // recovery disks are made from.
  std::optional<ChecksumCompanion> checksums;
  JournalKeeper journal;  // what a later split of the file goes on from
  // A set asked for with recovery disks names each data disk it asks for.
  bool numbered = false;
};

// Whether `path` may be split: a file or a disk, examined before it is opened.
// A folder cannot be read, a pipe would wait for a writer, a device such as
// /dev/zero never ends, and the volume's own files are about to be rewritten.
bool IsSplittable(Env& env, const std::string& path) {
  const FileKind kind = env.KindOf(path);
  return (kind == FileKind::kRegular || kind == FileKind::kBlockDevice) &&
         !IsVolumeFile(env, path);
}

// Asks for a source until one opens. Null when the user cancels.
std::unique_ptr<File> ChooseSource(Context& ctx, std::string* path) {
  for (;;) {
    ctx.out << "Please enter the filename to slicery: ";
    EndLine(ctx);
    if (ReadTypedPath(ctx, path) && IsSplittable(ctx.env, *path)) {
      if (std::unique_ptr<File> source = ctx.env.Open(*path, FileMode::kReadBinary)) {
        return source;
      }
    }
    const DialogResult retry = ShowDialog(
        ctx, "Slicery was unable to open the file.  Please enter another filename.",
        "Slicery", Buttons::kOkCancel, Icon::kWarning);
    if (retry != DialogResult::kOk) return nullptr;
  }
}

// Waits for a volume. False when the user gives up the operation instead.
// A split with recovery disks names the data disk it asks for, so that the
// user can label it as the rebuild will ask for it.
bool AwaitVolume(Context& ctx, const VolumeFields& next, bool numbered) {
  const std::string disk =
      numbered ? "Disk #" + std::to_string(next.disk_index + 1) : std::string("a disk");
  for (;;) {
    const DialogResult inserted = ShowDialog(
        ctx,
        "Please insert " + disk + " into drive.  (No data on disk will be overwritten.)",
        "Insert Disk", Buttons::kOkCancel, Icon::kNone);
    if (inserted == DialogResult::kOk) return true;
    const DialogResult abort =
        ShowDialog(ctx, "Abort operation?", "Slicery", Buttons::kYesNo, Icon::kQuestion);
    if (abort == DialogResult::kYes) return false;
  }
}

// A set that would have more disks than recovery disks can protect is told
// so at its first volume, once that volume's size shows it, before anything
// is written there: the user may go on with a plain set, without recovery
// disks and so without checksum files that would promise them. False when
// the user stops the split instead.
bool SettleRecoveryDisks(Context& ctx, SplitState& split, SplitSource& source,
                         const ChunkBudget& first) {
  if (!split.checksums || split.fields.disk_index != 0 ||
      !split.checksums->TooManyDisks(first)) {
    return true;
  }
  const int recovery = split.checksums->recovery_disks();
  const DialogResult answer = ShowDialog(
      ctx,
      "With " + std::to_string(recovery) +
          (recovery == 1 ? " recovery disk" : " recovery disks") +
          ", this file needs more than " +
          std::to_string(split.checksums->most_data_disks()) +
          " data disks like this one: more than the 255 disks in all that recovery "
          "disks can protect.\nDo you want to go on without recovery disks?",
      "Slicery", Buttons::kYesNo, Icon::kQuestion);
  if (answer != DialogResult::kYes) return false;
  split.checksums.reset();
  split.journal.RecoveryDropped(source);
  return true;
}

// Writes the next chunk onto the accepted volume and shows how it went. False
// when the split ends there.
bool FillVolume(Context& ctx, SplitState& split, SplitSource& source,
                const ChunkBudget& budget) {
  ProgressMeter meter(ctx.out);
  VolumeCompanion* companion = split.checksums ? &*split.checksums : nullptr;
  const VolumeWriteResult written = WriteVolume(ctx.env, source, budget, split.fields,
                                                ctx.read_back_volumes, meter, companion);
  if (written.status == VolumeWrite::kWritten) {
    // The byte count is shown only for a chunk on the medium with its record.
    ctx.out << written.kept << " bytes written";
    EndLine(ctx);
    ++split.fields.disk_index;
    split.source_done = written.last;
    // The journal is up to date before the next disk is asked for.
    if (!split.journal.DataDiskWritten(source, written.kept, written.last))
      return ShowVolumeNotice(ctx, VolumeWrite::kSourceFailed);
    return true;
  }
  return TellVolumeNotWritten(ctx, written.status);
}

}  // namespace

OperationOutcome RunSplitOperation(Context& ctx) {
  SplitState split(ctx);
  // The id that every record of this set carries; the first volume is disk 0.
  split.fields.operation_id = DrawOperationId(ctx.env.TickCount());
  split.source = ChooseSource(ctx, &split.fields.source_path);
  if (!split.source) return AskAnotherOperation(ctx);
  ClearConsole(ctx);
  ctx.out << "Slicery Operation: Slicery\nFilename: " << split.fields.source_path;
  EndLine(ctx);
  SplitSource source{*split.source, 0, split.source->Identity()};
  // From the start, or from where an earlier split of the file stopped.
  if (!split.journal.Begin(split.fields, source, split.checksums, &split.source_done)) {
    split.source->Close();
    return AskAnotherOperation(ctx);
  }
  split.numbered = ctx.recovery_disks > 0 || split.checksums.has_value();
  // One volume per pass, until the volume holding the source's end is written.
  // Only a read that comes up short finds that end, so even an empty source
  // gets a volume, and a source that fills its last volume exactly gets one
  // more, empty, to carry the mark of the last volume.
  while (!split.source_done) {
    if (!AwaitVolume(ctx, split.fields, split.numbered)) {
      split.source->Close();
      return AskAnotherOperation(ctx);
    }
    const std::optional<ChunkBudget> budget = PrepareVolume(
        ctx, split.fields, split.journal.OverwritableFrom(split.fields.disk_index));
    if (!budget) continue;
    if (!SettleRecoveryDisks(ctx, split, source, *budget) ||
        !FillVolume(ctx, split, source, *budget)) {
      split.source->Close();
      return AskAnotherOperation(ctx);
    }
  }
  // Then the recovery disks, made from the source read again.
  const int asked = split.checksums ? split.checksums->recovery_disks() : 0;
  const std::optional<int> recovery =
      asked == 0
          ? 0
          : AddRecoveryDisks(ctx, split.fields, source, *split.checksums, split.journal);
  split.source->Close();  // opened for reading only: nothing to lose
  if (!recovery) return AskAnotherOperation(ctx);
  if (split.numbered) TellTheSet(ctx, split.fields.disk_index, *recovery, asked);
  if (*recovery != asked) return AskAnotherOperation(ctx);
  split.journal.Finish();
  return AnnounceCompletion(ctx);
}

}  // namespace slicery
