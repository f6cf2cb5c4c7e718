// Reads a data chunk block by block, each block checked against its checksum
// where one is known: what the rebuild of a set with recovery disks reads a
// data disk with, and what any reading that must know which blocks of a disk
// are good can share.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "ui/progress_meter.h"

namespace slicery {

// Read errors in a row after which a disk is taken to be failing: a real drive
// retries for seconds at each bad sector.
inline constexpr int kFailuresInARow = 8;

struct ChunkScan {
  std::vector<std::uint64_t> bad;  // blocks that did not read, or read wrong
  std::uint64_t good_bytes = 0;
  // The chunk's checksum (see ChunkChecksum), where every block was read.
  std::optional<std::uint64_t> chunk_checksum;
  bool stopped = false;  // `take` refused a block: the scan ended there
};

// Reads the `length` bytes of `data` in blocks of `block_size`, each from its
// own offset, so that a read error costs its block only. A block that reads,
// and matches its checksum in `sums` where given, goes to `take`; any other
// is bad. After kFailuresInARow read errors in a row `keep_reading` is asked:
// false makes every block not yet read bad. The dots count 25ths on `meter`.
// With `read_beside` (see BlockReader), the next blocks are read on a thread
// of their own while these are checked and taken.
ChunkScan ScanChunk(File& data, std::uint64_t length, std::uint64_t block_size,
                    const std::vector<std::uint64_t>* sums,
                    const std::function<bool(std::uint64_t, std::string_view)>& take,
                    const std::function<bool()>& keep_reading, ProgressMeter& meter,
                    bool read_beside = false);

}  // namespace slicery
