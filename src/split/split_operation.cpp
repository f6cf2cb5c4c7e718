// Writes one source file across as many volumes as it takes: one chunk and one
// record per volume, until the source is used up.
#include "split/split_operation.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "diskset/volume.h"
#include "operation/block_copy.h"
#include "operation/closing_questions.h"
#include "ui/console.h"
#include "ui/dialog.h"
#include "ui/progress_meter.h"

namespace slicery {
namespace {

// What one split operation holds from the source's opening to its end.
struct SplitState {
  OperationId operation_id = 0;
  std::string source_path;
  std::unique_ptr<File> source;
  std::int32_t disk_index = 0;
  std::uint64_t chunk_start = 0;  // source offset of the current chunk's first byte
  bool source_at_end = false;     // a read has found the end of the source
};

// A chunk cut back this many times and still without room for its record is
// given up, and the volume refused.
constexpr int kMaxCutBacks = 8;

enum class VolumeResult {
  kWritten,       // chunk and record are on the medium
  kRefused,       // nothing kept on this volume; ask for one again, same index
  kSourceFailed,  // the source cannot be read; the operation ends
};

void WarnUnwritable(Context& ctx) {
  ShowDialog(ctx.screen,
             "Error: Slicery was unable to write to the specified medium.\nMake sure "
             "the disk is formatted and not write-protected.",
             "Error", Buttons::kOk, Icon::kWarning);
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
    EndLine(ctx.out);
    if (ReadTypedPath(ctx, path) && IsSplittable(ctx.env, *path)) {
      if (std::unique_ptr<File> source = ctx.env.Open(*path, FileMode::kReadBinary)) {
        return source;
      }
    }
    const DialogResult retry =
        ShowDialog(ctx.screen,
                   "Slicery was unable to open the file.  Please enter another filename.",
                   "Slicery", Buttons::kOkCancel, Icon::kWarning);
    if (retry != DialogResult::kOk) return nullptr;
  }
}

// Waits for a volume. False when the user gives up the operation instead.
bool AwaitVolume(Context& ctx) {
  for (;;) {
    const DialogResult inserted = ShowDialog(
        ctx.screen,
        "Please insert a disk into drive.  (No data on disk will be overwritten.)",
        "Insert Disk", Buttons::kOkCancel, Icon::kNone);
    if (inserted == DialogResult::kOk) return true;
    const DialogResult abort = ShowDialog(ctx.screen, "Abort operation?", "Slicery",
                                          Buttons::kYesNo, Icon::kQuestion);
    if (abort == DialogResult::kYes) return false;
  }
}

// Whether the volume may take this set: a blank one may, and so may one of an
// older set that the user agrees to erase. A record names the set the volume
// belongs to: this one when it carries this set's path and id. One that cannot
// be read might be this set's own, so such a volume is refused rather than
// offered for erasing. A record of this path with another id, or with none (a
// split stopped while writing it), is an older set of the same file.
bool AcceptRecordedSet(Context& ctx, const std::string& source_path,
                       OperationId operation_id) {
  const RecordedPath recorded = ReadRecordedPath(ctx.env);
  switch (recorded.status) {
    case RecordedPath::kNone:
      // A data file without a record is what an interrupted split leaves. It
      // belongs to no set, and the space it holds is the new chunk's.
      ctx.env.Remove(DataFilePath(ctx.env));
      return true;
    case RecordedPath::kUnreadable:
      WarnUnwritable(ctx);
      return false;
    case RecordedPath::kRead:
      break;
  }
  if (recorded.first_line == source_path && recorded.operation_id == operation_id) {
    ShowDialog(ctx.screen,
               "Error: this disk has already been used in this operation.\nSlicery "
               "cannot write any more data to this disk.",
               "Error", Buttons::kOk, Icon::kWarning);
    return false;
  }
  const DialogResult reuse = ShowDialog(
      ctx.screen,
      "This disk has already been used in a previous operation.  Continuing will "
      "erase all former operation data.\nDo you still wish to use this disk?",
      "Slicery", Buttons::kYesNo, Icon::kQuestion);
  if (reuse != DialogResult::kYes) return false;
  ClearDiskSet(ctx.env);
  return true;
}

// Checks the volume in the drive and makes room on it. Its chunk budget, or
// nothing when the volume is refused.
std::optional<ChunkBudget> PrepareVolume(Context& ctx, const std::string& source_path,
                                         OperationId operation_id) {
  if (!AcceptRecordedSet(ctx, source_path, operation_id)) return std::nullopt;
  // The volume must take a file.
  if (!ProbeVolume(ctx.env)) {
    WarnUnwritable(ctx);
    return std::nullopt;
  }
  // And it must have room for a chunk beside the reserve.
  const std::optional<ChunkBudget> budget = QueryChunkBudget(ctx.env);
  if (!budget) {
    ShowDialog(ctx.screen, "Error: Disk must have at least 600 bytes free space.",
               "Error", Buttons::kOk, Icon::kWarning);
  }
  return budget;
}

VolumeResult FailSourceRead(Context& ctx) {
  ShowDialog(ctx.screen,
             "Error: Slicery was unable to read the file.\nOperation aborted.", "Error",
             Buttons::kOk, Icon::kError);
  ClearDiskSet(ctx.env);
  return VolumeResult::kSourceFailed;
}

// A volume that did not take its chunk or record whole keeps none of it, and
// the source goes back to the chunk's first byte for the next volume. A source
// that cannot go back cannot be read on, which ends the operation.
VolumeResult RefuseFailedVolume(Context& ctx, SplitState& split) {
  WarnUnwritable(ctx);
  ClearDiskSet(ctx.env);
  if (!split.source->Seek(split.chunk_start)) return FailSourceRead(ctx);
  split.source_at_end = false;
  return VolumeResult::kRefused;
}

// The record, then the directory entries, on the medium.
WriteResult RecordVolume(Context& ctx, const SplitState& split,
                         std::uint64_t chunk_length) {
  DiskInfoRecord record;
  record.source_path = split.source_path;
  record.disk_index = split.disk_index;
  record.continuation_mark = split.source_at_end ? '*' : '+';
  record.chunk_length = static_cast<std::int32_t>(chunk_length);
  record.operation_id = split.operation_id;
  const WriteResult written = WriteDiskInfo(ctx.env, record);
  if (written != WriteResult::kWritten) return written;
  return ctx.env.SyncVolume() ? WriteResult::kWritten : WriteResult::kFailed;
}

// The length to keep of a chunk whose medium filled up once `reached` bytes
// had gone out: at least one unit less, on a unit boundary, so that the
// record finds a unit free. Nothing when not even one unit would be left.
std::optional<std::uint64_t> CutBack(std::uint64_t reached, std::uint64_t unit) {
  const std::uint64_t units = reached / unit;
  if (units < 2) return std::nullopt;
  return (units - 1) * unit;
}

// After the medium refused a block, the units it still has are filled from
// the source one unit (at most one copy buffer) at a time, until a write fails, the
// budget is reached or the source ends: a file system can refuse a whole block (a page of
// the cache, a run of clusters) while single units would still fit. The length the data
// file then reached.
std::uint64_t FillLastUnits(SplitState& split, File& data, std::uint64_t reached,
                            const ChunkBudget& budget) {
  const std::uint64_t piece = std::min<std::uint64_t>(budget.unit, kCopyBufferSize);
  std::vector<char> buffer(static_cast<std::size_t>(piece));
  if (!split.source->Seek(split.chunk_start + reached)) return reached;
  while (reached < budget.bytes) {
    const std::size_t wanted =
        static_cast<std::size_t>(std::min(piece, budget.bytes - reached));
    bool failed = false;
    const std::size_t got = split.source->Read(buffer.data(), wanted, &failed);
    if (failed || got == 0 || !data.Write(buffer.data(), got)) break;
    reached += got;
  }
  return std::max(reached, data.Position().value_or(0));
}

// Makes the chunk durable and writes its record beside it. A medium that
// fills up first (its metadata takes units that its free figure did not
// show) keeps a shorter chunk: the data file is cut back and synced and the
// record written for what is kept, as often as kMaxCutBacks. The length kept;
// nothing when the volume cannot keep a chunk of one unit with its record, or
// failed for another reason.
std::optional<std::uint64_t> SettleVolume(Context& ctx, SplitState& split, File& data,
                                          const CopyResult& copy,
                                          const ChunkBudget& budget) {
  std::uint64_t kept = copy.bytes;
  WriteResult result = WriteResult::kFailed;
  if (copy.status == CopyStatus::kCopied && data.Sync()) {
    result = RecordVolume(ctx, split, kept);
  } else if (data.NoSpace()) {
    result = WriteResult::kNoSpace;
    // A write that failed part-way still put some bytes on the medium.
    kept = std::max(kept, data.Position().value_or(0));
    if (copy.status == CopyStatus::kWriteFailed) {
      kept = FillLastUnits(split, data, kept, budget);
    }
  }
  for (int cut = 0; result == WriteResult::kNoSpace && cut < kMaxCutBacks; ++cut) {
    const std::optional<std::uint64_t> shorter = CutBack(kept, budget.unit);
    if (!shorter || !data.Truncate(*shorter) || !data.Sync()) return std::nullopt;
    kept = *shorter;
    split.source_at_end = false;  // what was cut off goes onto the next volume
    result = RecordVolume(ctx, split, kept);
  }
  if (result != WriteResult::kWritten) return std::nullopt;
  return kept;
}

// The chunk and the record of one accepted volume.
VolumeResult WriteVolume(Context& ctx, SplitState& split, const ChunkBudget& budget) {
  std::unique_ptr<File> data =
      ctx.env.Open(DataFilePath(ctx.env), FileMode::kWriteBinary);
  if (!data) {
    WarnUnwritable(ctx);
    return VolumeResult::kRefused;
  }
  ProgressMeter meter(ctx.out);
  meter.Start("Writing to disk [");
  const CopyResult copy =
      CopyBlocks(*split.source, *data, budget.bytes, VolumeDots(budget.bytes), meter);
  split.source_at_end = copy.source_ended;
  meter.Finish();
  const std::optional<std::uint64_t> kept =
      copy.status == CopyStatus::kReadFailed
          ? std::nullopt
          : SettleVolume(ctx, split, *data, copy, budget);
  // The byte count is shown only for a chunk that is on the medium with its
  // record.
  if (!data->Close() || !kept) {
    EndLine(ctx.out);
    if (copy.status == CopyStatus::kReadFailed) return FailSourceRead(ctx);
    return RefuseFailedVolume(ctx, split);
  }
  ctx.out << *kept << " bytes written";
  EndLine(ctx.out);
  ++split.disk_index;
  split.chunk_start += *kept;
  // A chunk cut back leaves the source ahead of the next chunk's first byte.
  if (*kept == copy.bytes && copy.status == CopyStatus::kCopied) {
    return VolumeResult::kWritten;
  }
  return split.source->Seek(split.chunk_start) ? VolumeResult::kWritten
                                               : FailSourceRead(ctx);
}

}  // namespace

OperationOutcome RunSplitOperation(Context& ctx) {
  SplitState split;
  // The id that every record of this set carries.
  split.operation_id = DrawOperationId(ctx.env.TickCount());
  split.source = ChooseSource(ctx, &split.source_path);
  if (!split.source) return AskAnotherOperation(ctx);
  split.disk_index = 0;
  ClearConsole(ctx);
  ctx.out << "Slicery Operation: Slicery\nFilename: " << split.source_path;
  EndLine(ctx.out);
  // One volume per pass, until a read has found the end of the source. Only a
  // read that comes up short sets that, so even an empty source gets a volume,
  // and a source that fills its last volume exactly gets one more, empty, to
  // carry the mark of the last volume.
  while (!split.source_at_end) {
    if (!AwaitVolume(ctx)) {
      split.source->Close();
      return AskAnotherOperation(ctx);
    }
    const std::optional<ChunkBudget> budget =
        PrepareVolume(ctx, split.source_path, split.operation_id);
    if (!budget) continue;
    if (WriteVolume(ctx, split, *budget) == VolumeResult::kSourceFailed) {
      split.source->Close();
      return AskAnotherOperation(ctx);
    }
  }
  split.source->Close();  // opened for reading only: nothing to lose
  return AnnounceCompletion(ctx);
}

}  // namespace slicery
