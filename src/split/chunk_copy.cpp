#include "split/chunk_copy.h"

#include <algorithm>
#include <vector>

namespace slicery {
namespace {

// Writes `size` bytes, drawing a dot and syncing the data file each time the
// dot counter passes the dot step.
bool WriteWithDots(File& data, const char* bytes, std::size_t size,
                   std::uint64_t dot_step, std::uint64_t* dot_counter,
                   ProgressMeter& meter) {
  while (size > 0) {
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::uint64_t>(size, dot_step + 1 - *dot_counter));
    if (!data.Write(bytes, n)) return false;
    bytes += n;
    size -= n;
    *dot_counter += n;
    if (*dot_counter > dot_step) {
      *dot_counter = 0;
      meter.Dot();
      if (!data.Sync()) return false;
    }
  }
  return true;
}

}  // namespace

ChunkCopy CopyChunk(File& source, File& data, std::uint64_t budget, ProgressMeter& meter,
                    bool* source_at_end) {
  const std::uint64_t dot_step = budget / 25;
  std::uint64_t dot_counter = 0;
  std::vector<char> buffer(kSplitBufferSize);
  ChunkCopy copy;
  while (!*source_at_end && copy.bytes_written < budget) {
    // Never ask for a byte beyond the budget: a chunk that ends exactly there
    // must not find the end of the source on this volume.
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(buffer.size(), budget - copy.bytes_written));
    bool failed = false;
    const std::size_t got = source.Read(buffer.data(), wanted, &failed);
    if (failed) {
      copy.status = CopyStatus::kReadFailed;
      return copy;
    }
    if (got < wanted) *source_at_end = true;
    if (!WriteWithDots(data, buffer.data(), got, dot_step, &dot_counter, meter)) {
      copy.status = CopyStatus::kWriteFailed;
      return copy;
    }
    copy.bytes_written += got;
  }
  return copy;
}

}  // namespace slicery
