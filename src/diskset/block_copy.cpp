#include "diskset/block_copy.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace slicery {
namespace {

// The most one in-kernel copy call is asked to move.
constexpr std::uint64_t kKernelCopyMax = std::uint64_t{1} << 30;

// Draws a dot, then makes the bytes so far durable as the rule says.
bool MarkDot(File& destination, const DotRule& dots, ProgressMeter& meter) {
  meter.Dot();
  const bool durable =
      dots.sync_destination ? destination.SyncData() : destination.Flush();
  if (dots.show_on_console) meter.Show();
  return durable;
}

// Counts `n` bytes towards the next dot and draws it when they reach it; false
// when the flush or sync that comes with the dot fails.
bool CountTowardsDot(std::uint64_t n, const DotRule& dots, std::uint64_t* since_dot,
                     File& destination, ProgressMeter& meter) {
  if (dots.bytes_per_dot == 0) return true;
  *since_dot += n;
  if (*since_dot != dots.bytes_per_dot) return true;
  *since_dot = 0;
  return MarkDot(destination, dots, meter);
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
    if (!CountTowardsDot(n, dots, since_dot, destination, meter)) return false;
  }
  return true;
}

// How a run of in-kernel copies ended.
enum class KernelRun {
  kDone,      // the copy is over: the limit reached, or a failure recorded
  kFallBack,  // a stretch stopped short: the buffer goes on from there
};

// Up to `length` bytes copied inside the kernel; fewer when the host does not
// copy this way between these two files, when a copy fails, or when one copies
// nothing (the source may have ended, which only a read is trusted to say).
// Sets *astray when a file could not be moved past the bytes copied.
std::uint64_t CopyInKernelUpTo(File& source, File& destination, std::uint64_t length,
                               KernelCopier kernel, KernelCopyWay* way,
                               CopyStatus* astray) {
  std::uint64_t moved = 0;
  while (moved < length) {
    const KernelCopyResult copied =
        kernel(source, destination,
               static_cast<std::size_t>(std::min(length - moved, kKernelCopyMax)), way);
    if (copied.bytes) moved += *copied.bytes;
    if (copied.source_astray) *astray = CopyStatus::kReadFailed;
    if (copied.destination_astray) *astray = CopyStatus::kWriteFailed;
    if (*astray != CopyStatus::kCopied || !copied.bytes || *copied.bytes == 0) break;
  }
  return moved;
}

// Copies inside the kernel one stretch between two dots at a time, so that
// each dot, with its flush or sync, comes where it would in a copy made byte
// by byte.
KernelRun CopyStretchesInKernel(File& source, File& destination, std::uint64_t limit,
                                const DotRule& dots, ProgressMeter& meter,
                                KernelCopier kernel, std::uint64_t* since_dot,
                                CopyResult* copy) {
  KernelCopyWay way = KernelCopyWay::kUntried;
  while (copy->bytes < limit) {
    std::uint64_t stretch = limit - copy->bytes;
    if (dots.bytes_per_dot != 0)
      stretch = std::min(stretch, dots.bytes_per_dot - *since_dot);
    const std::uint64_t moved =
        CopyInKernelUpTo(source, destination, stretch, kernel, &way, &copy->status);
    copy->bytes += moved;
    if (copy->status != CopyStatus::kCopied) return KernelRun::kDone;
    if (!CountTowardsDot(moved, dots, since_dot, destination, meter)) {
      copy->status = CopyStatus::kWriteFailed;
      return KernelRun::kDone;
    }
    if (moved < stretch) return KernelRun::kFallBack;
  }
  return KernelRun::kDone;
}

// The rest of the copy through the buffer: a read, then its bytes written with
// their dots. A failure here is the read's or the write's own, so it says
// which side failed.
void CopyThroughBuffer(File& source, File& destination, std::uint64_t limit,
                       const DotRule& dots, ProgressMeter& meter,
                       std::uint64_t* since_dot, ChunkWatcher* watcher,
                       CopyResult* copy) {
  std::vector<char> buffer(kCopyBufferSize);
  while (!copy->source_ended && copy->bytes < limit) {
    // Never ask for a byte beyond the limit: a chunk that ends exactly at its
    // budget must not find the end of the source on this volume.
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(buffer.size(), limit - copy->bytes));
    bool failed = false;
    const std::size_t got = source.Read(buffer.data(), wanted, &failed);
    if (failed) {
      copy->status = CopyStatus::kReadFailed;
      return;
    }
    if (got < wanted) copy->source_ended = true;
    if (watcher != nullptr) watcher->Bytes(buffer.data(), got);
    if (!WriteWithDots(destination, buffer.data(), got, dots, since_dot, meter)) {
      copy->status = CopyStatus::kWriteFailed;
      return;
    }
    copy->bytes += got;
  }
}

}  // namespace

DotRule VolumeDots(std::uint64_t budget) {
  return DotRule{budget / kProgressScale + 1, /*sync_destination=*/true,
                 /*show_on_console=*/true};
}

DotRule TargetDots(std::int32_t chunk_length) {
  const std::int32_t step = chunk_length / kProgressScale;
  return DotRule{step > 0 ? static_cast<std::uint64_t>(step) : 0,
                 /*sync_destination=*/false, /*show_on_console=*/true};
}

CopyResult CopyBlocks(File& source, File& destination, std::uint64_t limit,
                      const DotRule& dots, ProgressMeter& meter, KernelCopier kernel,
                      ChunkWatcher* watcher) {
  std::uint64_t since_dot = 0;
  CopyResult copy;
  if (watcher != nullptr) {
    watcher->Start();
  } else if (CopyStretchesInKernel(source, destination, limit, dots, meter, kernel,
                                   &since_dot, &copy) == KernelRun::kDone) {
    return copy;
  }
  CopyThroughBuffer(source, destination, limit, dots, meter, &since_dot, watcher, &copy);
  return copy;
}

}  // namespace slicery
