// What the check learns of a set as it reads its disks: how the set is laid
// out, and what it found on each disk.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diskset/disk_info.h"
#include "recovery/recovery_files.h"
#include "recovery/stripe_repair.h"

namespace slicery {

// One disk of the set, data or recovery, as the check found it.
struct CheckedDisk {
  enum class State {
    kGood,         // every block matches its checksum; a plain disk: its length
    kBadBlocks,    // some blocks did not read, or do not match their checksums
    kNoChecksums,  // its checksums cannot be read: every block counts as bad
    kMissing,      // the user went without it: every block counts as bad
    kWrongLength,  // a plain disk whose data file is not as long as its record says
    kUnreadable,   // a plain disk whose data file does not read to its end
  };
  State state = State::kGood;
  // Where its chunk lies in the file (a recovery disk: at 0, as long as the
  // longest data chunk), and which of its blocks are bad.
  DiskBlocks blocks;
  std::uint64_t bytes_read = 0;  // a plain disk: the bytes its data file gave
  bool longer = false;           // its data file goes on past its chunk
  bool record_damaged = false;   // known by its checksum file, not its record
  char mark = '+';               // a data disk's record: '*' on the last one

  bool Damaged() const { return state != State::kGood || longer || record_damaged; }
};

struct CheckedSet {
  std::string recorded_path;
  OperationId set_id = 0;
  bool has_recovery = false;     // the set has recovery disks
  std::uint64_t block_size = 0;  // 0 until a checksum file or recovery record tells
  std::uint64_t file_length = 0;
  int recovery_disks = 0;                // N
  std::optional<RecoveryRecord> record;  // the first recovery record read
  std::vector<CheckedDisk> data;         // in order
  std::vector<CheckedDisk> recovery;     // in order, once they are asked for
  // The user went without a disk whose place nothing told: the data disks
  // after it were not asked for.
  bool end_unknown = false;

  // Takes a set's block size, file length and N where none are known yet.
  // False when they differ from those known: such a file is not this set's.
  bool TakeSettings(std::uint64_t size, std::uint64_t length, int disks) {
    if (block_size == 0) {
      block_size = size;
      file_length = length;
      recovery_disks = disks;
    }
    return block_size == size && file_length == length && recovery_disks == disks;
  }

  // A recovery disk's record: the layout of the whole set.
  void Learn(const RecoveryRecord& read) {
    has_recovery = true;
    if (!record && TakeSettings(read.block_size, read.file_length, read.recovery_disks)) {
      record = read;
    }
  }

  // Whether any disk is damaged or missing, or was never asked for.
  bool Damaged() const {
    const auto damaged = [](const CheckedDisk& disk) { return disk.Damaged(); };
    return end_unknown || std::any_of(data.begin(), data.end(), damaged) ||
           std::any_of(recovery.begin(), recovery.end(), damaged);
  }

  // Where the next data disk's chunk begins.
  std::uint64_t NextOffset() const {
    return data.empty() ? 0 : data.back().blocks.offset + data.back().blocks.length;
  }

  // Whether disk `index` is past the last data disk, as far as a record tells.
  bool PastLastDisk(std::size_t index) const {
    return record && index >= record->chunks.size();
  }

  // The longest data chunk: the length of every recovery chunk.
  std::uint64_t LongestChunk() const {
    std::uint64_t longest = 0;
    for (const CheckedDisk& disk : data) longest = std::max(longest, disk.blocks.length);
    if (record) {
      for (const ChunkEntry& chunk : record->chunks)
        longest = std::max(longest, chunk.length);
    }
    return longest;
  }
};

}  // namespace slicery
