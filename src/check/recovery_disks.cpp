#include "check/recovery_disks.h"

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "check/disk_lines.h"
#include "diskset/volume.h"
#include "recovery/recovery_volume.h"
#include "ui/console.h"
#include "ui/dialog.h"
#include "ui/progress_meter.h"

namespace slicery {
namespace {

// Whether a recovery disk's record is of this set as read so far: its
// settings, and its chunks where the data disks lie.
bool RecordFits(const CheckedSet& set, const RecoveryRecord& record, int index) {
  if (record.set_id != set.set_id || record.recovery_index != index ||
      record.recovery_disks != set.recovery_disks ||
      record.block_size != set.block_size || record.file_length != set.file_length) {
    return false;
  }
  if (!set.end_unknown && record.chunks.size() != set.data.size()) return false;
  for (std::size_t i = 0; i < set.data.size() && i < record.chunks.size(); ++i) {
    const DiskBlocks& blocks = set.data[i].blocks;
    if (set.data[i].state != CheckedDisk::State::kMissing &&
        (record.chunks[i].offset != blocks.offset ||
         record.chunks[i].length != blocks.length)) {
      return false;
    }
  }
  return true;
}

// Whether the stripe at block `block` is one of `stripes`, which are in order.
bool Damaged(const std::vector<DamagedStripe>& stripes, std::uint64_t block) {
  const auto found =
      std::lower_bound(stripes.begin(), stripes.end(), block,
                       [](const DamagedStripe& stripe, std::uint64_t wanted) {
                         return stripe.block < wanted;
                       });
  return found != stripes.end() && found->block == block;
}

}  // namespace

std::optional<RecoveryRecord> AwaitRecoveryDisk(Context& ctx, CheckedSet& set,
                                                int index) {
  for (;;) {
    const DialogResult inserted =
        ShowDialog(ctx,
                   "Please insert " + DiskName(true, index) + " of " +
                       std::to_string(set.recovery_disks) + ".",
                   "Slicery", Buttons::kOkCancel, Icon::kNone);
    if (inserted != DialogResult::kOk) {
      if (GoWithout(ctx, DiskName(true, index))) return std::nullopt;
      continue;
    }
    std::optional<RecoveryRecord> record = ReadRecoveryRecord(ctx.env);
    if (record && RecordFits(set, *record, index)) {
      set.Learn(*record);
      return record;
    }
    ShowDialog(ctx,
               "Error: this disk is not " + DiskName(true, index) +
                   " of this set, or its record cannot be read.",
               "Error", Buttons::kOk, Icon::kError);
  }
}

void ReadRecoveryDisk(Context& ctx, CheckedSet& set, const RecoveryRecord& record,
                      const std::vector<DamagedStripe>& stripes, KeptFile* kept) {
  const std::uint64_t block_size = set.block_size;
  const int index = record.recovery_index;
  CheckedDisk disk;
  disk.blocks.length = set.LongestChunk();
  ProgressMeter meter(ctx.out);
  meter.Start((LineLabel(true, index) + " [").c_str());
  std::unique_ptr<File> chunk =
      ctx.env.Open(VolumeFilePath(ctx.env, kRecoveryChunkName), FileMode::kReadBinary);
  if (chunk && record.blocks.size() == BlocksIn(disk.blocks.length, block_size)) {
    // Only the blocks of the stripes with bad data blocks are kept.
    ScanDisk(
        ctx, DiskName(true, index), *chunk, block_size, record.blocks, false, meter,
        [&](std::uint64_t block, std::string_view bytes) {
          if (kept != nullptr && Damaged(stripes, block)) {
            kept->KeepRecoveryBlock(block, index, bytes);
          }
        },
        &disk);
  } else {
    disk.blocks.all_bad = true;
    disk.state = CheckedDisk::State::kBadBlocks;
  }
  if (chunk) chunk->Close();  // read only
  EndDiskLine(ctx, meter, disk, false, block_size);
  set.recovery.push_back(std::move(disk));
  if (kept != nullptr) kept->TellIfFailed(ctx);
}

void AddMissingRecoveryDisk(Context& ctx, CheckedSet& set, int index) {
  CheckedDisk disk;
  disk.state = CheckedDisk::State::kMissing;
  disk.blocks.all_bad = true;
  disk.blocks.length = set.LongestChunk();
  ctx.out << LineLabel(true, index) << " missing";
  EndLine(ctx);
  set.recovery.push_back(std::move(disk));
}

}  // namespace slicery
