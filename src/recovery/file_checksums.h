// The checksums that a recovery record gives a file of a set, computed from
// the file: each chunk's and the whole file's. The rebuild holds the file it
// wrote against them, and the check makes new recovery disks with them.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/file.h"
#include "recovery/checksum.h"

namespace slicery {

struct SetChecksums {
  std::vector<std::uint64_t> chunks;  // of each chunk, see ChunkChecksum
  FileChecksum file;
};

// Reads `file` from its start, as chunks of `lengths` bytes in turn, in blocks
// of `block_size`. Empty when it does not read that far, or goes on past it.
std::optional<SetChecksums> ChecksumChunks(File& file,
                                           const std::vector<std::uint64_t>& lengths,
                                           std::uint64_t block_size);

}  // namespace slicery
