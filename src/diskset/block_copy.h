// Moves a chunk between a volume and a file in large blocks. Whatever the
// block size, the destination receives the same bytes, and the progress dots
// (with their flush or sync) come at the same byte counts, as in a copy made
// one byte at a time; a copy never reads a byte beyond its limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "platform/file.h"
#include "platform/kernel_copy.h"
#include "ui/progress_meter.h"

namespace slicery {

// Read size of a copy; the one buffer an operation holds.
inline constexpr std::size_t kCopyBufferSize = 256 * 1024;

// A copy that runs until the source ends.
inline constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();

// When a copy draws a progress dot, and what it does with each one.
struct DotRule {
  std::uint64_t bytes_per_dot = 0;  // 0: no dots at all
  bool sync_destination = false;    // the bytes so far to the medium, not just flushed
  bool show_on_console = false;     // flush the console so the dot is seen at once
};

// Writing a chunk onto a volume: a dot after every (budget / 25 + 1) bytes,
// each with the data file synced, so that a dot stands for bytes on the disk,
// and shown once they are there.
DotRule VolumeDots(std::uint64_t budget);

// Appending a chunk to the rebuilt file: a dot every (chunk length / 25) bytes,
// none when that is 0 or less, each shown at once with the target flushed.
DotRule TargetDots(std::int32_t chunk_length);

// Sees the source's bytes of a chunk as a pass that already holds them (the
// write, or the read-back's comparison) takes them, so that what they go on
// to (a checksum) costs no pass of its own.
class ChunkWatcher {
 public:
  virtual ~ChunkWatcher() = default;
  virtual void Start() = 0;  // a pass begins at the chunk's first byte
  virtual void Bytes(const char* bytes, std::size_t size) = 0;  // the next ones
};

enum class CopyStatus { kCopied, kReadFailed, kWriteFailed };

struct CopyResult {
  CopyStatus status = CopyStatus::kCopied;
  std::uint64_t bytes = 0;    // written to the destination
  bool source_ended = false;  // a read found the end of the source
};

// How a copy moves bytes inside the kernel: the host's CopyInKernel, or a
// test's stand-in for it.
using KernelCopier = KernelCopyResult (*)(File& from, File& to, std::size_t size,
                                          KernelCopyWay* way);

// Copies until the source ends or `limit` bytes have been written, whichever
// comes first, inside the kernel where the host allows it between these two
// files and through the buffer elsewhere. A read or write failure stops the
// copy and says which it was. A `watcher`, when given, sees every byte read
// from the source, in order from the copy's start: such a copy goes through
// the buffer, where the bytes are.
CopyResult CopyBlocks(File& source, File& destination, std::uint64_t limit,
                      const DotRule& dots, ProgressMeter& meter,
                      KernelCopier kernel = CopyInKernel,
                      ChunkWatcher* watcher = nullptr);

}  // namespace slicery
