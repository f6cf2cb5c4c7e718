// Reads the data disks of a set with recovery disks, block by block.
#include "reconstitute/recovery_rebuild.h"

#include <memory>
#include <ostream>

#include "diskset/volume.h"
#include "operation/closing_questions.h"
#include "recovery/checksum.h"
#include "recovery/recovery_volume.h"
#include "ui/console.h"
#include "ui/dialog.h"
#include "ui/progress_meter.h"

namespace slicery {
namespace {

std::string DiskName(std::int32_t index) {
  return "Disk #" + std::to_string(std::int64_t{index} + 1);
}

std::string Blocks(std::uint64_t count) {
  return std::to_string(count) + (count == 1 ? " bad block" : " bad blocks");
}

// Reads block `block` of `size` bytes of the open data file into `into`.
// False on a read error or a file that ends early; the next block is read
// from its own offset either way.
bool ReadBlock(File& data, std::uint64_t block_size, std::uint64_t block,
               std::size_t size, std::vector<char>* into) {
  bool failed = false;
  if (!data.Seek(block * block_size)) return false;
  return data.Read(into->data(), size, &failed) == size && !failed;
}

}  // namespace

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
  }
  return block_size_ == block_size && file_length_ == file_length &&
         recovery_disks_ == recovery;
}

bool RecoveryRebuild::PastLastDisk(std::int32_t index) const {
  return record_ && static_cast<std::size_t>(index) >= record_->chunks.size();
}

bool RecoveryRebuild::IsBad(const DataDisk& disk, std::uint64_t block) const {
  if (disk.all_bad) return true;
  for (const auto& bad : disk.bad) {
    if (bad.first == block) return true;
  }
  return false;
}

std::optional<std::uint64_t> RecoveryRebuild::KnownSum(const DataDisk& disk,
                                                       std::uint64_t block) const {
  for (const auto& bad : disk.bad) {
    if (bad.first == block) return bad.second;
  }
  return std::nullopt;
}

void RecoveryRebuild::TellBadBlocks(std::int32_t index, const DataDisk& disk) {
  if (!disk.all_bad && disk.bad.empty()) return;
  std::string text;
  if (block_size_ == 0) {
    // No checksum file of the set has been read yet: its blocks are not known.
    text = DiskName(index) +
           " has no readable checksums, so all of its blocks count as bad.\nThey";
  } else {
    const std::uint64_t total = BlocksIn(disk.length, block_size_);
    const std::uint64_t bad = disk.all_bad ? total : disk.bad.size();
    text = DiskName(index) + " has " + Blocks(bad) + " of " + std::to_string(total) +
           (bad == 1 ? ".\nIt" : ".\nThey");
  }
  ShowDialog(ctx_, text + " will be rebuilt from the recovery disks.", "Slicery",
             Buttons::kOk, Icon::kWarning);
}

// Each block of the chunk in `data`, checked against `sums`: a good one goes
// to the target at its offset, a bad one (wrong bytes, or a read error, after
// which the next block is read all the same) is noted on `disk`. False when
// the target did not take a block.
bool RecoveryRebuild::CopyGoodBlocks(File& data, File& target,
                                     const std::vector<std::uint64_t>& sums,
                                     ProgressMeter& meter, DataDisk* disk,
                                     std::uint64_t* good) {
  std::vector<char> block(block_size_);
  std::uint64_t dots = 0;
  for (std::uint64_t j = 0; j < sums.size(); ++j) {
    const std::size_t size =
        std::min<std::uint64_t>(block_size_, disk->length - j * block_size_);
    if (!ReadBlock(data, block_size_, j, size, &block) ||
        BlockChecksum({block.data(), size}) != sums[j]) {
      disk->bad.push_back({j, sums[j]});
    } else if (!target.Seek(disk->offset + j * block_size_) ||
               !target.Write(block.data(), size)) {
      return false;
    } else {
      *good += size;
    }
    DrawDotsDue(meter, j * block_size_ + size, disk->length, &dots);
  }
  return true;
}

RecoveryRebuild::DiskRead RecoveryRebuild::ReadDataDisk(File& target,
                                                        const DiskInfoRecord& record,
                                                        std::int32_t index) {
  const VolumeText text = ReadVolumeText(ctx_.env, kChecksumFileName);
  if (!active_ && text.status == VolumeText::kNone) return DiskRead::kPlain;
  active_ = true;
  DataDisk disk{
      next_offset_,
      static_cast<std::uint64_t>(std::max<std::int32_t>(record.chunk_length, 0)),
      false,
      {}};
  const std::optional<ChunkChecksums> sums =
      text.status == VolumeText::kRead ? ParseChunkChecksums(text.bytes) : std::nullopt;
  // A checksum file that is not this disk's, or fails its own check, tells
  // nothing: every block of the disk counts as bad.
  const bool usable =
      sums && sums->set_id == set_id_ && sums->disk_index == index &&
      sums->chunk_offset == disk.offset && sums->chunk_length == disk.length &&
      TakeSettings(sums->block_size, sums->file_length, sums->recovery_disks);
  std::unique_ptr<File> data =
      usable ? ctx_.env.Open(DataFilePath(ctx_.env), FileMode::kReadBinary) : nullptr;
  disk.all_bad = !data;
  ProgressMeter meter(ctx_.out);
  meter.Start("Reconstituting Data [");
  std::uint64_t good = 0;
  if (data) {
    const bool written = CopyGoodBlocks(*data, target, sums->blocks, meter, &disk, &good);
    data->Close();  // read only
    if (!written) {
      EndLine(ctx_);
      return DiskRead::kTargetFailed;
    }
  }
  meter.Finish();
  ctx_.out << good << " bytes reconstituted.";
  EndLine(ctx_);
  TellBadBlocks(index, disk);
  next_offset_ += disk.length;
  disks_.push_back(std::move(disk));
  return DiskRead::kRead;
}

bool RecoveryRebuild::GoWithout(std::int32_t index) {
  const DialogResult without =
      ShowDialog(ctx_,
                 "Do you want to go on without " + DiskName(index) +
                     "?\nIts blocks will be rebuilt from the recovery disks.",
                 "Slicery", Buttons::kYesNo, Icon::kQuestion);
  if (without != DialogResult::kYes) return false;
  // Where the chunk lies, and how long it is, only a recovery record tells.
  if (!record_ && !AcquireRecord()) return false;
  if (static_cast<std::size_t>(index) >= record_->chunks.size()) return false;
  const ChunkEntry& chunk = record_->chunks[index];
  disks_.push_back(DataDisk{chunk.offset, chunk.length, true, {}});
  next_offset_ = chunk.offset + chunk.length;
  return true;
}

// Asks for any recovery disk of the set until one gives its record. False
// when the user cancels.
bool RecoveryRebuild::AcquireRecord() {
  for (;;) {
    const DialogResult inserted =
        ShowDialog(ctx_, "Please insert any recovery disk of this set.", "Slicery",
                   Buttons::kOkCancel, Icon::kNone);
    if (inserted != DialogResult::kOk) return false;
    const std::optional<RecoveryRecord> record = ReadRecoveryRecord(ctx_.env);
    if (record && record->set_id == set_id_) {
      Learn(*record);
      if (record_) return true;
    }
    ShowDialog(ctx_, "Error: this disk is not a readable recovery disk of this set.",
               "Error", Buttons::kOk, Icon::kError);
  }
}

std::optional<OperationOutcome> RecoveryRebuild::Finish(File& target,
                                                        const std::string& target_path) {
  bool target_failed = false;
  const std::vector<std::int32_t> lost = Repair(target, target_path, &target_failed);
  const bool synced = SyncAndClose(target);
  std::string problem;
  if (target_failed || !synced) {
    problem =
        "Slicery was unable to write the reconstituted file.\nOperation aborted.\n"
        "Partial data from the file may be available.";
  } else if (!lost.empty()) {
    problem = "Too much of this set is lost: the blocks of";
    for (std::size_t i = 0; i < lost.size(); ++i) {
      problem += (i == 0                 ? " "
                  : i + 1 == lost.size() ? " and "
                                         : ", ") +
                 DiskName(lost[i]);
    }
    problem +=
        " cannot be rebuilt.\nThe rest of the file is in place; the file is not "
        "complete.";
  } else if (next_offset_ != file_length_ || (record_ && !FileMatches(target_path))) {
    problem =
        "Error: the rebuilt file does not match the checksum of its set.\nThe file is "
        "not complete.";
  }
  if (problem.empty()) return std::nullopt;
  ShowDialog(ctx_, problem, "Error", Buttons::kOk, Icon::kError);
  return AskAnotherOperation(ctx_);
}

}  // namespace slicery
