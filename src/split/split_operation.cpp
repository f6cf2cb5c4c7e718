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
#include "ui/console.h"
#include "ui/dialog.h"
#include "ui/progress_meter.h"

namespace slicery {
namespace {

// What one split operation holds from the source's opening to its end.
struct SplitState {
  VolumeFields fields;  // path, id and the index of the next volume written
  std::unique_ptr<File> source;
  bool source_done = false;  // the volume holding the source's end is written
};

constexpr char kUnwritable[] =
    "Error: Slicery was unable to write to the specified medium.\nMake sure the disk "
    "is formatted and not write-protected.";

void WarnUnwritable(Context& ctx) {
  ShowDialog(ctx, kUnwritable, "Error", Buttons::kOk, Icon::kWarning);
}

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
bool AwaitVolume(Context& ctx) {
  for (;;) {
    const DialogResult inserted = ShowDialog(
        ctx, "Please insert a disk into drive.  (No data on disk will be overwritten.)",
        "Insert Disk", Buttons::kOkCancel, Icon::kNone);
    if (inserted == DialogResult::kOk) return true;
    const DialogResult abort =
        ShowDialog(ctx, "Abort operation?", "Slicery", Buttons::kYesNo, Icon::kQuestion);
    if (abort == DialogResult::kYes) return false;
  }
}

// Whether the volume may take this set: a blank one may, and so may one of an
// older set that the user agrees to erase. A record names the set the volume
// belongs to: this one when it carries this set's path and id. One that cannot
// be read might be this set's own, so such a volume is refused rather than
// offered for erasing. A record of this path with another id, or with none (a
// split stopped while writing it), is an older set of the same file.
bool AcceptRecordedSet(Context& ctx, const VolumeFields& set) {
  const RecordedPath recorded = ReadRecordedPath(ctx.env);
  switch (recorded.status) {
    case RecordedPath::kNone:
      RemoveLeftoverChunk(ctx.env);
      return true;
    case RecordedPath::kUnreadable:
      WarnUnwritable(ctx);
      return false;
    case RecordedPath::kRead:
      break;
  }
  if (recorded.first_line == set.source_path &&
      recorded.operation_id == set.operation_id) {
    ShowDialog(ctx,
               "Error: this disk has already been used in this operation.\nSlicery "
               "cannot write any more data to this disk.",
               "Error", Buttons::kOk, Icon::kWarning);
    return false;
  }
  const DialogResult reuse = ShowDialog(
      ctx,
      "This disk has already been used in a previous operation.  Continuing will "
      "erase all former operation data.\nDo you still wish to use this disk?",
      "Slicery", Buttons::kYesNo, Icon::kQuestion);
  if (reuse != DialogResult::kYes) return false;
  ClearDiskSet(ctx.env);
  return true;
}

// Checks the volume in the drive and makes room on it. Its chunk budget, or
// nothing when the volume is refused.
std::optional<ChunkBudget> PrepareVolume(Context& ctx, const VolumeFields& set) {
  // A volume folder with nothing mounted on it is an empty drive: nothing is
  // read, removed or written there.
  if (!ctx.env.VolumeHasMedium()) {
    WarnUnwritable(ctx);
    return std::nullopt;
  }
  if (!AcceptRecordedSet(ctx, set)) return std::nullopt;
  // The volume must take a file.
  if (!ProbeVolume(ctx.env)) {
    WarnUnwritable(ctx);
    return std::nullopt;
  }
  // And it must have room for a chunk beside the reserve.
  const std::optional<ChunkBudget> budget = QueryChunkBudget(ctx.env);
  if (!budget) {
    ShowDialog(ctx, "Error: Disk must have at least 600 bytes free space.", "Error",
               Buttons::kOk, Icon::kWarning);
  }
  return budget;
}

// What the split tells of a volume that was not written, and whether the
// split goes on: a refused volume is asked for again, a source that cannot be
// read on, or that changed, ends the split.
struct VolumeNotice {
  const char* text;
  Icon icon;
  bool split_goes_on;
};

VolumeNotice NoticeFor(VolumeWrite status) {
  switch (status) {
    case VolumeWrite::kReadBackFailed:
      return {
          "Error: the data on this disk did not read back as it was written.\nPlease "
          "use another disk.",
          Icon::kWarning, true};
    case VolumeWrite::kSourceChanged:
      return {"Error: the file changed while it was being split.\nOperation aborted.",
              Icon::kError, false};
    case VolumeWrite::kSourceFailed:
      return {"Error: Slicery was unable to read the file.\nOperation aborted.",
              Icon::kError, false};
    case VolumeWrite::kWritten:
    case VolumeWrite::kNotCreated:
    case VolumeWrite::kFailed:
      break;
  }
  return {kUnwritable, Icon::kWarning, true};
}

// Writes the next chunk onto the accepted volume and shows how it went. False
// when the split ends there.
bool FillVolume(Context& ctx, SplitState& split, SplitSource& source,
                const ChunkBudget& budget) {
  ProgressMeter meter(ctx.out);
  const VolumeWriteResult written =
      WriteVolume(ctx.env, source, budget, split.fields, ctx.read_back_volumes, meter);
  if (written.status == VolumeWrite::kWritten) {
    // The byte count is shown only for a chunk on the medium with its record.
    ctx.out << written.kept << " bytes written";
    EndLine(ctx);
    ++split.fields.disk_index;
    split.source_done = written.last;
    return true;
  }
  // Every other volume ends its progress line unfinished; one whose data file
  // could not be created never started one.
  if (written.status != VolumeWrite::kNotCreated) EndLine(ctx);
  const VolumeNotice notice = NoticeFor(written.status);
  ShowDialog(ctx, notice.text, "Error", Buttons::kOk, notice.icon);
  return notice.split_goes_on;
}

}  // namespace

OperationOutcome RunSplitOperation(Context& ctx) {
  SplitState split;
  // The id that every record of this set carries; the first volume is disk 0.
  split.fields.operation_id = DrawOperationId(ctx.env.TickCount());
  split.source = ChooseSource(ctx, &split.fields.source_path);
  if (!split.source) return AskAnotherOperation(ctx);
  ClearConsole(ctx);
  ctx.out << "Slicery Operation: Slicery\nFilename: " << split.fields.source_path;
  EndLine(ctx);
  SplitSource source{*split.source, 0, split.source->Identity()};
  // One volume per pass, until the volume holding the source's end is written.
  // Only a read that comes up short finds that end, so even an empty source
  // gets a volume, and a source that fills its last volume exactly gets one
  // more, empty, to carry the mark of the last volume.
  while (!split.source_done) {
    if (!AwaitVolume(ctx)) {
      split.source->Close();
      return AskAnotherOperation(ctx);
    }
    const std::optional<ChunkBudget> budget = PrepareVolume(ctx, split.fields);
    if (!budget) continue;
    if (!FillVolume(ctx, split, source, *budget)) {
      split.source->Close();
      return AskAnotherOperation(ctx);
    }
  }
  split.source->Close();  // opened for reading only: nothing to lose
  return AnnounceCompletion(ctx);
}

}  // namespace slicery
