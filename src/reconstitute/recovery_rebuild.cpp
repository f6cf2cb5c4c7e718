// Reads the data disks of a set with recovery disks, block by block.
#include "reconstitute/recovery_rebuild.h"

#include <algorithm>
#include <memory>
#include <ostream>

#include "diskset/volume.h"
#include "operation/closing_questions.h"
#include "reconstitute/rebuild_notices.h"
#include "recovery/checksum.h"
#include "ui/console.h"
#include "ui/dialog.h"
#include "ui/progress_meter.h"

namespace slicery {

void RecoveryRebuild::Learn(const RecoveryRecord& record) {
  active_ = true;
  if (!record_ &&
      TakeSettings(record.block_size, record.file_length, record.recovery_disks)) {
    record_ = record;
  }
}

bool RecoveryRebuild::TakeSettings(std::uint64_t block_size, std::uint64_t file_length,
                                   int recovery) {
  if (block_size_ == 0) {
    block_size_ = block_size;
    file_length_ = file_length;
    recovery_disks_ = recovery;
    recovery_read_.assign(static_cast<std::size_t>(recovery), DiskState::kUnread);
  }
  return block_size_ == block_size && file_length_ == file_length &&
         recovery_disks_ == recovery;
}

bool RecoveryRebuild::PastLastDisk(std::int32_t index) const {
  return record_ && static_cast<std::size_t>(index) >= record_->chunks.size();
}

void RecoveryRebuild::Joined(const DiskInfoRecord& record) {
  DataDisk disk;
  disk.offset = next_offset_;
  disk.length =
      static_cast<std::uint64_t>(std::max<std::int32_t>(record.chunk_length, 0));
  disk.unchecked = true;
  next_offset_ += disk.length;
  disks_.push_back(std::move(disk));
}

// The disk's checksum file, where it names this disk of this set with the
// set's settings, and agrees with a recovery record read.
std::optional<ChunkChecksums> RecoveryRebuild::UsableChecksums(const VolumeText& text,
                                                               std::int32_t index) {
  std::optional<ChunkChecksums> sums =
      text.status == VolumeText::kRead ? ParseChunkChecksums(text.bytes) : std::nullopt;
  if (!sums || sums->set_id != set_id_ || sums->disk_index != index ||
      !TakeSettings(sums->block_size, sums->file_length, sums->recovery_disks)) {
    return std::nullopt;
  }
  if (record_ && (static_cast<std::size_t>(index) >= record_->chunks.size() ||
                  record_->chunks[index].offset != sums->chunk_offset ||
                  record_->chunks[index].length != sums->chunk_length)) {
    return std::nullopt;
  }
  return sums;
}

// Where the disk's chunk lies: as its checksum file or a recovery record
// tells, or else after the disks before it, as long as its record says.
RecoveryRebuild::DataDisk RecoveryRebuild::Place(
    const DiskInfoRecord& record, std::int32_t index,
    const std::optional<ChunkChecksums>& sums) const {
  DataDisk disk;
  disk.unchecked = !sums;
  if (sums) {
    disk.offset = sums->chunk_offset;
    disk.length = sums->chunk_length;
  } else if (record_ && static_cast<std::size_t>(index) < record_->chunks.size()) {
    disk.offset = record_->chunks[index].offset;
    disk.length = record_->chunks[index].length;
  } else {
    disk.offset = next_offset_;
    disk.length =
        static_cast<std::uint64_t>(std::max<std::int32_t>(record.chunk_length, 0));
  }
  return disk;
}

// Asked of a disk that keeps failing to read: false lets it go.
bool RecoveryRebuild::KeepReading(std::int32_t index) {
  return ShowDialog(ctx_,
                    DiskName(index) +
                        " keeps failing to read: " + std::to_string(kFailuresInARow) +
                        " blocks in a row could not be read.\nDo you want to stop "
                        "reading it, and rebuild the rest of it from the recovery disks?",
                    "Slicery", Buttons::kYesNo, Icon::kQuestion) != DialogResult::kYes;
}

// Which blocks of the disk are bad. A disk read without its checksum file is
// checked as a whole against its recovery record, where one has been read;
// otherwise only what did not read is bad (all of it where the set's block
// size is not known).
void RecoveryRebuild::Judge(const ChunkScan& scan,
                            const std::optional<ChunkChecksums>& sums, std::int32_t index,
                            DataDisk* disk) const {
  if (disk->all_bad) return;
  if (sums) {
    for (const std::uint64_t block : scan.bad)
      disk->bad.push_back({block, sums->blocks[block]});
  } else if (record_ && static_cast<std::size_t>(index) < record_->chunks.size()) {
    disk->all_bad = scan.chunk_checksum != record_->chunks[index].checksum;
  } else if (block_size_ == 0) {
    disk->all_bad = !scan.bad.empty();
  } else {
    for (const std::uint64_t block : scan.bad) disk->bad.push_back({block, std::nullopt});
  }
}

// The chunk checksum of what the disk's reading, and the repair to come, put
// at its place: its checksum file's, whose blocks the good ones matched and
// the rebuilt ones must match; or that of the blocks read, where every one
// read and none is to be rebuilt. Otherwise it is known only by reading the
// file again.
std::optional<std::uint64_t> RecoveryRebuild::WrittenChecksum(
    const ChunkScan& scan, const std::optional<ChunkChecksums>& sums,
    const DataDisk& disk) {
  if (disk.all_bad) return std::nullopt;
  if (sums) {
    ChunkChecksum chain;
    for (const std::uint64_t block : sums->blocks) chain.AddBlock(block);
    return chain.Digest();
  }
  return disk.bad.empty() ? scan.chunk_checksum : std::nullopt;
}

RecoveryRebuild::DiskRead RecoveryRebuild::ReadDataDisk(File& target,
                                                        const DiskInfoRecord& record,
                                                        std::int32_t index) {
  const VolumeText text = ReadVolumeText(ctx_.env, kChecksumFileName);
  if (!active_ && text.status == VolumeText::kNone) return DiskRead::kPlain;
  if (!active_) {
    // The disks joined so far had no checksum file.
    active_ = true;
    for (std::size_t i = 0; i < disks_.size(); ++i)
      TellUnchecked(static_cast<std::int32_t>(i));
  }
  const std::optional<ChunkChecksums> sums = UsableChecksums(text, index);
  DataDisk disk = Place(record, index, sums);
  const std::uint64_t unit = block_size_ == 0 ? kMinBlockSize : block_size_;
  std::unique_ptr<File> data =
      ctx_.env.Open(DataFilePath(ctx_.env), FileMode::kReadBinary);
  ProgressMeter meter(ctx_.out);
  meter.Start("Reconstituting Data [");
  ChunkScan scan;
  if (data) {
    const auto take = [&](std::uint64_t block, std::string_view bytes) {
      return target.Seek(disk.offset + block * unit) &&
             target.Write(bytes.data(), bytes.size());
    };
    scan = ScanChunk(
        *data, disk.length, unit, sums ? &sums->blocks : nullptr, take,
        [&] { return KeepReading(index); }, meter, ctx_.env.FilesAcrossThreads());
    data->Close();  // read only
    if (scan.stopped) {
      EndLine(ctx_);
      return DiskRead::kTargetFailed;
    }
  }
  meter.Finish();
  ctx_.out << scan.good_bytes << " bytes reconstituted.";
  EndLine(ctx_);
  disk.all_bad = !data;
  Judge(scan, sums, index, &disk);
  disk.written = WrittenChecksum(scan, sums, disk);
  next_offset_ = disk.offset + disk.length;
  disks_.push_back(std::move(disk));
  if (disks_.back().unchecked && !record_) TellUnchecked(index);
  TellBadBlocks(index, disks_.back());
  return DiskRead::kRead;
}

bool RecoveryRebuild::GoWithout(std::int32_t index) {
  const bool known = record_ && static_cast<std::size_t>(index) < record_->chunks.size();
  DataDisk lost;
  lost.all_bad = true;
  lost.length = known ? record_->chunks[index].length : 1;  // its first block at least
  disks_.push_back(lost);
  const bool can = CanRebuild(disks_.back());
  disks_.pop_back();
  const DialogResult without = ShowDialog(
      ctx_,
      "Do you want to go on without " + DiskName(index) + "?\n" +
          (can ? "Its blocks will be rebuilt from the recovery disks."
               : "Not all of its blocks can be rebuilt: at the same places other disks "
                 "have bad blocks too, more than the set has recovery disks."),
      "Slicery", Buttons::kYesNo, Icon::kQuestion);
  if (without != DialogResult::kYes) return false;
  // Where the chunk lies, and how long it is, only a recovery record tells.
  if (!record_ && !AcquireRecord()) return false;
  if (static_cast<std::size_t>(index) >= record_->chunks.size()) return false;
  const ChunkEntry& chunk = record_->chunks[index];
  lost.offset = chunk.offset;
  lost.length = chunk.length;
  disks_.push_back(lost);
  next_offset_ = chunk.offset + chunk.length;
  // A recovery disk in the drive is read whole now: it need not come again.
  std::vector<std::uint64_t> every(record_->blocks.size());
  for (std::size_t j = 0; j < every.size(); ++j) every[j] = j;
  TakeRecoveryDisk(every);
  return true;
}

std::optional<OperationOutcome> RecoveryRebuild::Finish(File& target) {
  const Loss loss = Repair(target);
  const bool synced = SyncAndClose(target);
  std::string problem;
  if (loss.target_failed || !synced) {
    problem =
        "Slicery was unable to write the reconstituted file.\nOperation aborted.\n"
        "Partial data from the file may be available.";
  } else if (!loss.disks.empty()) {
    problem = LossText(loss);
  } else if ((block_size_ != 0 && next_offset_ != file_length_) ||
             (record_ && !FileMatches())) {
    problem =
        "Error: the rebuilt file does not match the checksum of its set.\nThe file is "
        "not complete; what was rebuilt is in\n" +
        target_path_;
  }
  if (!problem.empty()) {
    ShowDialog(ctx_, problem, "Error", Buttons::kOk, Icon::kError);
    return AskAnotherOperation(ctx_);
  }
  TellRebuilt();
  return std::nullopt;
}

}  // namespace slicery
