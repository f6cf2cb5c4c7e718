#include "operation/block_copy.h"

#include <algorithm>
#include <vector>

namespace slicery {
namespace {

// Draws a dot, then makes the bytes so far durable as the rule says.
bool MarkDot(File& destination, const DotRule& dots, ProgressMeter& meter) {
  meter.Dot();
  const bool durable = dots.sync_destination ? destination.Sync() : destination.Flush();
  if (dots.show_on_console) meter.Show();
  return durable;
}

// Writes `size` bytes, stopping for a dot each time `bytes_per_dot` bytes have
// gone out since the last one.
bool WriteWithDots(File& destination, const char* bytes, std::size_t size,
                   const DotRule& dots, std::uint64_t* since_dot, ProgressMeter& meter) {
  while (size > 0) {
    std::size_t n = size;
    if (dots.bytes_per_dot != 0) {
      n = static_cast<std::size_t>(
          std::min<std::uint64_t>(size, dots.bytes_per_dot - *since_dot));
    }
    if (!destination.Write(bytes, n)) return false;
    bytes += n;
    size -= n;
    if (dots.bytes_per_dot == 0) continue;
    *since_dot += n;
    if (*since_dot == dots.bytes_per_dot) {
      *since_dot = 0;
      if (!MarkDot(destination, dots, meter)) return false;
    }
  }
  return true;
}

}  // namespace

DotRule VolumeDots(std::uint64_t budget) {
  return DotRule{budget / 25 + 1, /*sync_destination=*/true, /*show_on_console=*/true};
}

DotRule TargetDots(std::int32_t chunk_length) {
  const std::int32_t step = chunk_length / 25;
  return DotRule{step > 0 ? static_cast<std::uint64_t>(step) : 0,
                 /*sync_destination=*/false, /*show_on_console=*/true};
}

CopyResult CopyBlocks(File& source, File& destination, std::uint64_t limit,
                      const DotRule& dots, ProgressMeter& meter) {
  std::vector<char> buffer(kCopyBufferSize);
  std::uint64_t since_dot = 0;
  CopyResult copy;
  while (!copy.source_ended && copy.bytes < limit) {
    // Never ask for a byte beyond the limit: a chunk that ends exactly at its
    // budget must not find the end of the source on this volume.
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(buffer.size(), limit - copy.bytes));
    bool failed = false;
    const std::size_t got = source.Read(buffer.data(), wanted, &failed);
    if (failed) {
      copy.status = CopyStatus::kReadFailed;
      return copy;
    }
    if (got < wanted) copy.source_ended = true;
    if (!WriteWithDots(destination, buffer.data(), got, dots, &since_dot, meter)) {
      copy.status = CopyStatus::kWriteFailed;
      return copy;
    }
    copy.bytes += got;
  }
  return copy;
}

}  // namespace slicery
