// The two files a recovery set adds to its volumes: the checksum file on each
// data disk, and the record on each recovery disk beside its recovery chunk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diskset/disk_info.h"
#include "diskset/volume.h"
#include "recovery/checksum.h"

namespace slicery {

// What a data disk's checksum file holds: where its chunk lies in the file,
// what the set is, and the checksum of each block of the chunk.
struct ChunkChecksums {
  OperationId set_id = 0;
  std::int32_t disk_index = 0;
  std::uint64_t chunk_offset = 0;
  std::uint64_t chunk_length = 0;
  std::uint64_t file_length = 0;
  std::int32_t recovery_disks = 0;  // N
  std::uint64_t block_size = 0;
  std::vector<std::uint64_t> blocks;  // one per block of the chunk, the last maybe short

  bool operator==(const ChunkChecksums&) const = default;
};

std::string FormatChunkChecksums(const ChunkChecksums& sums);
// Empty when the bytes are not such a file or fail their own checksum.
std::optional<ChunkChecksums> ParseChunkChecksums(std::string_view bytes);

// One data chunk as the recovery record lists it.
struct ChunkEntry {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  std::uint64_t checksum = 0;  // of the whole chunk: see ChunkChecksum

  bool operator==(const ChunkEntry&) const = default;
};

// A chunk entry as one line of text ("offset length checksum"), and back;
// empty when the line is not exactly such an entry.
std::string FormatChunkEntry(const ChunkEntry& chunk);
std::optional<ChunkEntry> ParseChunkEntry(std::string_view line);

// What a recovery disk's record holds.
struct RecoveryRecord {
  std::string source_path;
  OperationId set_id = 0;
  std::int32_t recovery_index = 0;  // this disk's place among the recovery disks, from 0
  std::int32_t recovery_disks = 0;  // N
  std::uint64_t block_size = 0;
  std::uint64_t file_length = 0;
  FileChecksum file_checksum;
  std::vector<ChunkEntry> chunks;     // the data disks, in order
  std::vector<std::uint64_t> blocks;  // of this disk's recovery chunk

  bool operator==(const RecoveryRecord&) const = default;
};

std::string FormatRecoveryRecord(const RecoveryRecord& record);
std::optional<RecoveryRecord> ParseRecoveryRecord(std::string_view bytes);

// Blocks of `block_size` that `length` bytes take, the last maybe short.
std::uint64_t BlocksIn(std::uint64_t length, std::uint64_t block_size);

// The block size of a set whose first volume takes `budget` bytes: 4 KiB,
// doubled until the chunk has at most kMaxBlocksPerBudget blocks, so that
// one bad sector costs one block and the checksums stay small beside it.
inline constexpr std::uint64_t kMinBlockSize = 4096;
inline constexpr std::uint64_t kMaxBlocksPerBudget = 4096;
std::uint64_t ChooseBlockSize(std::uint64_t budget);

// The most bytes a checksum file of a chunk of `blocks` blocks takes, and a
// recovery record of a set of `disks` data disks whose recovery chunks have
// `blocks` blocks.
std::uint64_t ChecksumFileBound(std::uint64_t blocks);
std::uint64_t RecoveryRecordBound(std::size_t path_length, std::uint64_t disks,
                                  std::uint64_t blocks);

}  // namespace slicery
