// Copies one chunk of the source onto a volume's data file, in blocks, with the
// byte-for-byte effect of a one-byte-at-a-time copy: the same bytes, a dot and a
// flush to the medium after every (budget / 25 + 1) bytes, and never a read
// past the budget.
#pragma once

#include <cstdint>

#include "platform/host.h"
#include "ui/console.h"

namespace slicery {

// Read size of the copy; the one buffer the split holds.
inline constexpr std::size_t kSplitBufferSize = 256 * 1024;

enum class CopyStatus { kCopied, kWriteFailed, kReadFailed };

struct ChunkCopy {
  CopyStatus status = CopyStatus::kCopied;
  std::uint64_t bytes_written = 0;
};

// Copies until the source ends (then sets *source_at_end) or `budget` bytes
// have been written, whichever comes first.
ChunkCopy CopyChunk(File& source, File& data, std::uint64_t budget, ProgressMeter& meter,
                    bool* source_at_end);

}  // namespace slicery
