// A file's chunks read again for the checksums a journal holds of them: one
// chunk after a disk that was not read back, and every chunk of the disks
// written before a split goes on from them.
#pragma once

#include <cstdint>
#include <vector>

#include "operation/context.h"
#include "platform/file.h"
#include "recovery/checksum.h"
#include "split/split_journal.h"

namespace slicery {

enum class ChunkRead { kRead, kShort, kFailed };

// Reads `length` bytes of `source` on from where it stands into their chunk
// checksum over blocks of `block_size`, as the recovery files take it.
ChunkRead SumChunk(File& source, std::uint64_t length, std::uint64_t block_size,
                   std::uint64_t* sum);

// Where the last of `chunks` ends.
std::uint64_t EndOf(const std::vector<ChunkEntry>& chunks);

enum class SourceCheck { kSame, kChanged, kUnreadable };

// Reads the chunks of the disks written before again, from the file's start,
// each against its checksum in the journal, as fast as the checksum goes:
// "Checking the file [", dots, "] " and the bytes found as they were. The
// file's checksum over them, which recovery disks need, goes to `file` when
// given.
SourceCheck CheckSource(Context& ctx, File& source, const SplitProgress& earlier,
                        StreamChecksum* file);

}  // namespace slicery
