#include "split/journal_keeper.h"

#include <ostream>
#include <string>

#include "operation/volume_checks.h"
#include "recovery/checksum.h"
#include "split/source_check.h"
#include "ui/console.h"
#include "ui/dialog.h"

namespace slicery {
namespace {

// "An earlier split of this file stopped after Disk #39. Do you want to go on
// with Disk #40?", or the same of the recovery disks.
bool AskToGoOn(Context& ctx, const SplitProgress& earlier) {
  std::string done = "Disk #" + std::to_string(earlier.chunks.size());
  std::string next = "Disk #" + std::to_string(earlier.chunks.size() + 1);
  if (earlier.data_done) {
    const std::string of = " of " + std::to_string(earlier.recovery_disks);
    if (earlier.recovery_done > 0)
      done += " and recovery disk #" + std::to_string(earlier.recovery_done) + of;
    next = "recovery disk #" + std::to_string(earlier.recovery_done + 1) + of;
  }
  return ShowDialog(ctx,
                    "An earlier split of this file stopped after " + done +
                        ". Do you want to go on with " + next + "?",
                    "Slicery", Buttons::kYesNo, Icon::kQuestion) == DialogResult::kYes;
}

void TellFileChanged(Context& ctx) {
  ShowDialog(ctx,
             "The file has changed since the earlier split of it stopped.\nThe split "
             "starts again from Disk #1.",
             "Slicery", Buttons::kOk, Icon::kWarning);
}

}  // namespace

bool JournalKeeper::Begin(VolumeFields& fields, SplitSource& source,
                          std::optional<ChecksumCompanion>& checksums,
                          bool* source_done) {
  Open(fields, source);
  if (const std::optional<SplitProgress> earlier = Earlier(source)) {
    if (AskToGoOn(ctx_, *earlier)) {
      StreamChecksum file_so_far(StreamChecksum::k128);
      const SourceCheck check =
          CheckSource(ctx_, source.file, *earlier,
                      earlier->recovery_disks > 0 ? &file_so_far : nullptr);
      if (check == SourceCheck::kSame)
        return GoOn(*earlier, fields, source, checksums, file_so_far, source_done);
      if (check == SourceCheck::kChanged) TellFileChanged(ctx_);
      if (check == SourceCheck::kUnreadable || !source.file.Seek(0)) {
        ShowVolumeNotice(ctx_, VolumeWrite::kSourceFailed);
        return false;
      }
    }
    // No, or the file changed: the set starts afresh, told from the earlier
    // one, whose disks it may reuse, by its id.
    file_->Remove();
    if (fields.operation_id == earlier->set_id)
      fields.operation_id = static_cast<OperationId>((fields.operation_id + 1) % 32768);
  }
  progress_.set_id = fields.operation_id;
  progress_.recovery_disks = ctx_.recovery_disks;
  if (ctx_.recovery_disks > 0) {
    checksums.emplace(fields.operation_id, fields.source_path,
                      source.opened ? source.opened->size : 0, ctx_.recovery_disks);
    checksums_ = &*checksums;
  } else if (enabled_) {
    source.watcher = this;
  }
  return true;
}

void JournalKeeper::RecoveryDropped(SplitSource& source) {
  checksums_ = nullptr;
  progress_.recovery_disks = 0;
  progress_.block_size = kMinBlockSize;
  if (enabled_) source.watcher = this;
}

std::optional<std::int32_t> JournalKeeper::OverwritableFrom(std::int32_t place) const {
  if (!going_on_) return std::nullopt;
  return place;
}

bool JournalKeeper::DataDiskWritten(const SplitSource& source, std::uint64_t kept,
                                    bool last) {
  if (!enabled_) return true;
  ChunkEntry chunk{source.next_chunk - kept, kept, 0};
  bool placed = true;
  if (checksums_ != nullptr) {
    chunk.checksum = checksums_->chunks().back().checksum;
    progress_.block_size = checksums_->block_size();
  } else if (seen_ && seen_bytes_ == kept) {
    seen_->Finish();
    chunk.checksum = seen_->chunk();
  } else if (file_) {
    // Not all seen (a chunk cut back after it was copied): the chunk is read
    // again for its checksum, and the source put back.
    const bool read = source.file.Seek(chunk.offset) &&
                      SumChunk(source.file, kept, progress_.block_size,
                               &chunk.checksum) == ChunkRead::kRead;
    placed = source.file.Seek(source.next_chunk);
    if (!read) {
      GiveUp();
      return placed;
    }
  }
  progress_.chunks.push_back(chunk);
  progress_.data_done = last;
  Save();
  return placed;
}

void JournalKeeper::Start() {
  seen_.emplace(progress_.block_size, false);
  seen_bytes_ = 0;
}

void JournalKeeper::Bytes(const char* bytes, std::size_t size) {
  seen_->Add(bytes, size);
  seen_bytes_ += size;
}

void JournalKeeper::RecoveryDiskWritten() {
  if (!enabled_) return;
  ++progress_.recovery_done;
  Save();
}

void JournalKeeper::Finish() {
  if (file_) file_->Remove();
}

// The journal of this file, when the split keeps one and the host can tell
// where: its own path, whole, and the file's identity name the file.
void JournalKeeper::Open(const VolumeFields& fields, const SplitSource& source) {
  enabled_ = ctx_.keep_split_journal;
  if (!enabled_) return;
  progress_.recorded_path = fields.source_path;
  progress_.block_size = kMinBlockSize;
  const std::optional<std::string> absolute = ctx_.env.AbsolutePath(fields.source_path);
  // A path with a line end in it cannot be a line of the journal.
  if (!absolute || !source.opened || absolute->find_first_of("\r\n") != std::string::npos)
    return;
  progress_.source = *absolute;
  progress_.file = *source.opened;
  file_ = JournalFile::Of(ctx_.env, *absolute);
}

// The journal of an earlier split of this file that can go on: of this very
// file, unchanged since, with disks left to write. Any other is dropped, a
// damaged one with a line on the console.
std::optional<SplitProgress> JournalKeeper::Earlier(const SplitSource& source) {
  SplitProgress earlier;
  const JournalFile::Found found =
      file_ ? file_->Read(&earlier) : JournalFile::Found::kNone;
  if (found == JournalFile::Found::kNone) return std::nullopt;
  if (found == JournalFile::Found::kDamaged) {
    ctx_.out
        << "The journal of an earlier split of this file is damaged and was ignored.";
    EndLine(ctx_);
  } else if (earlier.source == progress_.source &&
             earlier.file.UnchangedFrom(*source.opened) && !earlier.chunks.empty() &&
             (!earlier.data_done || earlier.recovery_done < earlier.recovery_disks)) {
    return earlier;
  }
  file_->Remove();
  return std::nullopt;
}

bool JournalKeeper::GoOn(const SplitProgress& earlier, VolumeFields& fields,
                         SplitSource& source, std::optional<ChecksumCompanion>& checksums,
                         const StreamChecksum& file_so_far, bool* source_done) {
  source.next_chunk = EndOf(earlier.chunks);
  if (!source.file.Seek(source.next_chunk)) {
    ShowVolumeNotice(ctx_, VolumeWrite::kSourceFailed);
    return false;
  }
  fields.source_path = earlier.recorded_path;
  fields.operation_id = earlier.set_id;
  fields.disk_index = static_cast<std::int32_t>(earlier.chunks.size());
  *source_done = earlier.data_done;
  if (earlier.recovery_disks > 0) {
    checksums.emplace(earlier.set_id, earlier.recorded_path, earlier.file.size,
                      earlier.recovery_disks);
    checksums->GoOnFrom(earlier.block_size, earlier.chunks, file_so_far);
    checksums_ = &*checksums;
  } else {
    source.watcher = this;
  }
  progress_ = earlier;
  going_on_ = true;
  return true;
}

void JournalKeeper::Save() {
  if (enabled_ && !(file_ && file_->Write(progress_))) GiveUp();
}

// A journal that cannot be kept up to date is none: the split goes on
// without one, and says so once.
void JournalKeeper::GiveUp() {
  ctx_.out << "The journal of this split could not be written: if the split stops, it "
              "cannot be resumed.";
  EndLine(ctx_);
  if (file_) file_->Remove();
  enabled_ = false;
}

}  // namespace slicery
