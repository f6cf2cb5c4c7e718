#include "check/data_disks.h"

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "check/disk_lines.h"
#include "diskset/volume.h"
#include "recovery/recovery_volume.h"
#include "ui/console.h"
#include "ui/dialog.h"
#include "ui/progress_meter.h"

namespace slicery {
namespace {

// The record of the volume in the drive; when it has none, the user may have
// it read again. Nothing when they would rather insert a disk again.
std::optional<DiskInfoRecord> ReadVolumeRecord(Context& ctx) {
  DiskInfoRecord unknown;
  unknown.disk_index = -1;
  unknown.operation_id = -1;
  for (;;) {
    if (std::optional<DiskInfoRecord> record = ReadDiskInfo(ctx.env, unknown))
      return record;
    const DialogResult again = ShowDialog(
        ctx,
        "Error: unable to read Slicery information from this disk.\nDo you want Slicery "
        "to search for the data again?",
        "Error", Buttons::kYesNo, Icon::kError);
    if (again != DialogResult::kYes) return std::nullopt;
  }
}

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

std::optional<DiskInfoRecord> AwaitDataDisk(Context& ctx, const CheckedSet& set,
                                            std::int32_t index) {
  for (;;) {
    const DialogResult inserted =
        ShowDialog(ctx, "Please insert " + DiskName(false, index), "Slicery",
                   Buttons::kOkCancel, Icon::kNone);
    if (inserted != DialogResult::kOk) {
      if (GoWithout(ctx, DiskName(false, index))) return std::nullopt;
      continue;
    }
    const std::optional<DiskInfoRecord> record = ReadVolumeRecord(ctx);
    if (!record) continue;
    const char* problem = nullptr;
    if (record->operation_id != set.set_id) {
      problem = "Error: this Slicery data on this disk is for a different file.";
    } else if (record->disk_index != index) {
      problem =
          "Error: this disk is part of the operation, but has not been inserted in the "
          "proper order.";
    }
    if (problem == nullptr) return record;
    ShowDialog(ctx, problem, "Error", Buttons::kOk, Icon::kError);
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
                  const std::optional<ChunkChecksums>& sums, KeptFile* kept) {
  CheckedDisk disk;
  disk.mark = record.continuation_mark;
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
