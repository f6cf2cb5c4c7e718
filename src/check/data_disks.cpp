#include "check/data_disks.h"

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "check/disk_lines.h"
#include "diskset/volume.h"
#include "operation/disk_request.h"
#include "recovery/recovery_volume.h"
#include "ui/console.h"
#include "ui/dialog.h"
#include "ui/progress_meter.h"

namespace slicery {
namespace {

// A plain set's disk: read through, its length against its record.
void ReadPlainDisk(File* data, ProgressMeter& meter, CheckedDisk* disk) {
  bool failed = data == nullptr;
  if (data != nullptr)
    disk->bytes_read = ReadThrough(*data, disk->blocks.length, meter, &failed);
  using State = CheckedDisk::State;
  disk->state = failed                                    ? State::kUnreadable
                : disk->bytes_read != disk->blocks.length ? State::kWrongLength
                                                          : State::kGood;
}

// Asks for any recovery disk of the set until one gives its record. False
// when the user cancels.
bool AcquireRecord(Context& ctx, CheckedSet& set) {
  for (;;) {
    const DialogResult inserted =
        ShowDialog(ctx, "Please insert any recovery disk of this set.", "Slicery",
                   Buttons::kOkCancel, Icon::kNone);
    if (inserted != DialogResult::kOk) return false;
    const std::optional<RecoveryRecord> record = ReadRecoveryRecord(ctx.env);
    if (record && record->set_id == set.set_id) {
      set.Learn(*record);
      if (set.record) return true;
    }
    ShowDialog(ctx, "Error: this disk is not a readable recovery disk of this set.",
               "Error", Buttons::kOk, Icon::kError);
  }
}

}  // namespace

DiskOffer RequestDataDisk(Context& ctx, CheckedSet& set, std::int32_t index,
                          DiskInfoRecord* record) {
  for (;;) {
    const DiskOffer offer =
        AwaitDataDisk(ctx, set.set_id, index, record,
                      [&](const RecoveryRecord& read) { set.Learn(read); });
    if (offer != DiskOffer::kCancelled) return offer;
    if (GoWithout(ctx, DiskName(index))) return offer;
  }
}

std::optional<ChunkChecksums> ReadDiskChecksums(Context& ctx, CheckedSet& set,
                                                const DiskInfoRecord& record,
                                                std::int32_t index) {
  const VolumeText text = ReadVolumeText(ctx.env, kChecksumFileName);
  if (text.status == VolumeText::kNone) return std::nullopt;
  if (!set.has_recovery) {
    // Disks read before as a plain set's had no checksums to be checked by.
    for (CheckedDisk& earlier : set.data) {
      if (earlier.state == CheckedDisk::State::kMissing) continue;
      earlier.state = CheckedDisk::State::kNoChecksums;
      earlier.blocks.all_bad = true;
    }
    set.has_recovery = true;
  }
  std::optional<ChunkChecksums> sums =
      text.status == VolumeText::kRead ? ParseChunkChecksums(text.bytes) : std::nullopt;
  // A checksum file that is not this disk's, or does not agree with the set,
  // tells nothing of this disk.
  const bool fits =
      sums && record.chunk_length >= 0 && sums->set_id == set.set_id &&
      sums->disk_index == index && sums->chunk_offset == set.NextOffset() &&
      sums->chunk_length == static_cast<std::uint64_t>(record.chunk_length) &&
      set.TakeSettings(sums->block_size, sums->file_length, sums->recovery_disks);
  if (!fits) return std::nullopt;
  return sums;
}

void ReadDataDisk(Context& ctx, CheckedSet& set, const DiskInfoRecord& record,
                  bool record_damaged, const std::optional<ChunkChecksums>& sums,
                  KeptFile* kept) {
  CheckedDisk disk;
  disk.mark = record.continuation_mark;
  disk.record_damaged = record_damaged;
  disk.blocks.offset = set.NextOffset();
  disk.blocks.length =
      static_cast<std::uint64_t>(std::max<std::int32_t>(record.chunk_length, 0));
  ProgressMeter meter(ctx.out);
  meter.Start((LineLabel(false, set.data.size()) + " [").c_str());
  std::unique_ptr<File> data = ctx.env.Open(DataFilePath(ctx.env), FileMode::kReadBinary);
  if (!set.has_recovery) {
    ReadPlainDisk(data.get(), meter, &disk);
  } else if (sums && data) {
    const std::uint64_t offset = disk.blocks.offset;
    ScanDisk(
        ctx, DiskName(false, set.data.size()), *data, sums->block_size, sums->blocks,
        true, meter,
        [&](std::uint64_t block, std::string_view bytes) {
          if (kept != nullptr) kept->Keep(offset + block * sums->block_size, bytes);
        },
        &disk);
  } else {
    // Without its checksums, or its data file, no block of it can be trusted;
    // what there is is still read through, as every disk is.
    bool failed = false;
    if (data) ReadThrough(*data, disk.blocks.length, meter, &failed);
    disk.blocks.all_bad = true;
    disk.state = sums ? CheckedDisk::State::kBadBlocks : CheckedDisk::State::kNoChecksums;
  }
  if (data) data->Close();  // read only
  EndDiskLine(ctx, meter, disk, !set.has_recovery, set.block_size);
  set.data.push_back(std::move(disk));
  if (kept != nullptr) kept->TellIfFailed(ctx);
}

bool AddMissingDataDisk(Context& ctx, CheckedSet& set, std::int32_t index) {
  CheckedDisk disk;
  disk.state = CheckedDisk::State::kMissing;
  disk.blocks.all_bad = true;
  disk.blocks.offset = set.NextOffset();
  // Where its chunk lies, and whether more follow, only a recovery record tells.
  const bool placed = set.has_recovery && (set.record || AcquireRecord(ctx, set)) &&
                      static_cast<std::size_t>(index) < set.record->chunks.size();
  if (placed) {
    const ChunkEntry& chunk = set.record->chunks[index];
    disk.blocks.offset = chunk.offset;
    disk.blocks.length = chunk.length;
    disk.mark =
        static_cast<std::size_t>(index) + 1 == set.record->chunks.size() ? '*' : '+';
  } else {
    set.end_unknown = true;
  }
  ctx.out << LineLabel(false, index) << " missing";
  EndLine(ctx);
  set.data.push_back(std::move(disk));
  return placed;
}

}  // namespace slicery
