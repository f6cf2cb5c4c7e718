// Checking what a set with recovery disks holds against its checksums: a
// chunk read block by block, each block against its own checksum, and a whole
// file against the checksums of its set's record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/file.h"
#include "recovery/recovery_files.h"
#include "ui/progress_meter.h"

namespace slicery {

// What the reading of a chunk found.
struct BlockCheck {
  std::vector<std::uint64_t> bad;  // blocks that did not read or do not match, in order
  bool longer = false;             // the file goes on past the chunk's length
  bool stopped = false;            // the place the good blocks went to failed
};

// Takes a run of consecutive good blocks: the offset in the chunk of its first
// byte, and its bytes. False stops the reading.
using GoodBlocks =
    std::function<bool(std::uint64_t at, const char* bytes, std::size_t size)>;

// Reads the `length` bytes of a chunk from the start of `chunk`, in blocks of
// `block_size` (the last maybe short), each checked against its checksum in
// `sums` as it comes. A block that does not read whole, or does not match, is
// bad, and the reading goes on at the next block, past read errors. The good
// blocks go to `good`. A dot is drawn on `meter` at each 25th of `length`.
BlockCheck CheckBlocks(File& chunk, std::uint64_t length, std::uint64_t block_size,
                       const std::vector<std::uint64_t>& sums, ProgressMeter& meter,
                       const GoodBlocks& good);

// Whether `file`, from its start, holds exactly the file that `record`
// describes: each chunk with its chunk checksum, the whole with the file's.
bool FileMatchesRecord(File& file, const RecoveryRecord& record);

}  // namespace slicery
