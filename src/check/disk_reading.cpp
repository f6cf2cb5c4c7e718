#include "check/disk_reading.h"

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "diskset/volume.h"
#include "recovery/block_check.h"
#include "recovery/recovery_volume.h"
#include "ui/console.h"
#include "ui/dialog.h"
#include "ui/progress_meter.h"

namespace slicery {
namespace {

constexpr std::size_t kReadSize = 1024 * 1024;

std::string Number(std::size_t index) { return std::to_string(index + 1); }

std::string LineLabel(bool recovery, std::size_t index) {
  return (recovery ? "Recovery disk #" : "Disk #") + Number(index);
}

std::string BadBlocks(std::uint64_t bad, std::uint64_t total) {
  return std::to_string(bad) + (bad == 1 ? " bad block of " : " bad blocks of ") +
         std::to_string(total);
}

// What a disk's console line ends in.
std::string StateText(const CheckedDisk& disk, bool plain, std::uint64_t block_size) {
  using State = CheckedDisk::State;
  const std::uint64_t total =
      block_size == 0 ? 0 : BlocksIn(disk.blocks.length, block_size);
  std::string text;
  switch (disk.state) {
    case State::kGood:
      text = plain ? std::to_string(disk.bytes_read) + " bytes, as recorded" : "good";
      break;
    case State::kBadBlocks:
      text = BadBlocks(disk.blocks.all_bad ? total : disk.blocks.bad.size(), total);
      break;
    case State::kNoChecksums:
      text = "unreadable checksums";
      break;
    case State::kMissing:
      text = "missing";
      break;
    case State::kWrongLength:
      text = std::to_string(disk.bytes_read) + " bytes, its record says " +
             std::to_string(disk.blocks.length);
      break;
    case State::kUnreadable:
      text = "read error after " + std::to_string(disk.bytes_read) + " bytes";
      break;
  }
  if (disk.longer) text += "; its data file goes on past its chunk";
  return text;
}

void EndDiskLine(Context& ctx, ProgressMeter& meter, const CheckedDisk& disk, bool plain,
                 std::uint64_t block_size) {
  // An empty chunk is read at once: all of it, 25 dots.
  std::uint64_t dots = 0;
  if (disk.blocks.length == 0) DrawDotsDue(meter, 1, 1, &dots);
  meter.Finish();
  ctx.out << StateText(disk, plain, block_size);
  EndLine(ctx);
}

bool GoWithout(Context& ctx, const std::string& name) {
  return ShowDialog(ctx,
                    "Do you want to go on without " + name +
                        "?\nThe check will count it as missing.",
                    "Slicery", Buttons::kYesNo, Icon::kQuestion) == DialogResult::kYes;
}

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

// Reads a data file through to its end, drawing the dots of `length` bytes.
// The bytes it gave; *failed on a read error.
std::uint64_t ReadThrough(File& data, std::uint64_t length, ProgressMeter& meter,
                          bool* failed) {
  std::vector<char> buffer(kReadSize);
  std::uint64_t done = 0, dots = 0;
  for (;;) {
    const std::size_t got = data.Read(buffer.data(), buffer.size(), failed);
    done += got;
    DrawDotsDue(meter, std::min(done, length), length, &dots);
    if (got < buffer.size() || *failed) return done;
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

// A recovery set's data disk: each block against its checksum; the good ones
// kept.
void CheckDataBlocks(File& data, const ChunkChecksums& sums, ProgressMeter& meter,
                     KeptFile* kept, CheckedDisk* disk) {
  const std::uint64_t offset = disk->blocks.offset;
  const BlockCheck check =
      CheckBlocks(data, disk->blocks.length, sums.block_size, sums.blocks, meter,
                  [&](std::uint64_t at, const char* bytes, std::size_t size) {
                    if (kept != nullptr) kept->Keep(offset + at, bytes, size);
                    return true;
                  });
  for (const std::uint64_t block : check.bad) {
    disk->blocks.bad.push_back({block, sums.blocks[block]});
  }
  disk->longer = check.longer;
  disk->state =
      check.bad.empty() ? CheckedDisk::State::kGood : CheckedDisk::State::kBadBlocks;
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

}  // namespace

std::string DiskName(bool recovery, std::size_t index) {
  return (recovery ? "recovery disk #" : "Disk #") + Number(index);
}

std::optional<DiskInfoRecord> AwaitDataDisk(Context& ctx, const CheckedSet& set,
                                            std::int32_t index) {
  for (;;) {
    const DialogResult inserted = ShowDialog(ctx, "Please insert Disk #" + Number(index),
                                             "Slicery", Buttons::kOkCancel, Icon::kNone);
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
    CheckDataBlocks(*data, *sums, meter, kept, &disk);
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

std::optional<RecoveryRecord> AwaitRecoveryDisk(Context& ctx, CheckedSet& set,
                                                int index) {
  for (;;) {
    const DialogResult inserted =
        ShowDialog(ctx,
                   "Please insert recovery disk #" + Number(index) + " of " +
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
               "Error: this disk is not recovery disk #" + Number(index) +
                   " of this set, or its record cannot be read.",
               "Error", Buttons::kOk, Icon::kError);
  }
}

void ReadRecoveryDisk(Context& ctx, CheckedSet& set, const RecoveryRecord& record,
                      StripeRepair* repair, KeptFile* kept) {
  const std::uint64_t block_size = set.block_size;
  CheckedDisk disk;
  disk.blocks.length = set.LongestChunk();
  ProgressMeter meter(ctx.out);
  meter.Start((LineLabel(true, set.recovery.size()) + " [").c_str());
  std::unique_ptr<File> chunk =
      ctx.env.Open(VolumeFilePath(ctx.env, kRecoveryChunkName), FileMode::kReadBinary);
  if (chunk && record.blocks.size() == BlocksIn(disk.blocks.length, block_size)) {
    const int index = record.recovery_index;
    const BlockCheck check =
        CheckBlocks(*chunk, disk.blocks.length, block_size, record.blocks, meter,
                    [&](std::uint64_t at, const char* bytes, std::size_t size) {
                      for (std::size_t from = 0; from < size; from += block_size) {
                        const std::optional<std::size_t> slot =
                            repair != nullptr ? repair->SlotOf((at + from) / block_size)
                                              : std::nullopt;
                        if (slot && kept != nullptr) {
                          kept->KeepRecoveryBlock(
                              *repair, *slot, index, bytes + from,
                              std::min<std::size_t>(block_size, size - from), block_size);
                        }
                      }
                      return true;
                    });
    for (const std::uint64_t block : check.bad) disk.blocks.bad.push_back({block, {}});
    disk.longer = check.longer;
    disk.state =
        check.bad.empty() ? CheckedDisk::State::kGood : CheckedDisk::State::kBadBlocks;
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
