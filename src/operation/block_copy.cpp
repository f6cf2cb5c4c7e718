#include "operation/block_copy.h"

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
  const bool durable = dots.sync_destination ? destination.Sync() : destination.Flush();
  if (dots.show_on_console) meter.Show();
  return durable;
}

// Bytes from here to the next dot or to the limit, whichever comes first.
std::uint64_t SegmentLength(const DotRule& dots, std::uint64_t since_dot,
                            std::uint64_t left) {
  if (dots.bytes_per_dot == 0) return left;
  return std::min(left, dots.bytes_per_dot - since_dot);
}

// One segment between two dots, moved through the buffer: a read, then a
// write, until the segment is done or a read comes back short (the source
// ended there). Never asks for a byte beyond the segment.
CopyStatus CopyThroughBuffer(File& source, File& destination, std::uint64_t length,
                             std::vector<char>& buffer, CopyResult* copy,
                             std::uint64_t* moved) {
  if (buffer.empty()) buffer.resize(kCopyBufferSize);
  while (*moved < length) {
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), length - *moved));
    bool failed = false;
    const std::size_t got = source.Read(buffer.data(), wanted, &failed);
    if (failed) return CopyStatus::kReadFailed;
    if (got > 0 && !destination.Write(buffer.data(), got))
      return CopyStatus::kWriteFailed;
    *moved += got;
    copy->bytes += got;
    if (got < wanted) {
      copy->source_ended = true;
      break;
    }
  }
  return CopyStatus::kCopied;
}

// One segment, copied inside the operating system while the host offers that
// for these two files, the rest through the buffer. The buffer also takes over
// when an in-kernel copy fails, so its own read or write says which side
// failed, and when one copies nothing: only a read decides that the source has
// ended (a file that shrank, or one the kernel cannot copy from).
CopyStatus CopySegment(File& source, File& destination, std::uint64_t length,
                       std::vector<char>& buffer, CopyResult* copy) {
  std::uint64_t moved = 0;
  while (moved < length) {
    const std::optional<std::size_t> copied = destination.CopyFrom(
        source, static_cast<std::size_t>(std::min(length - moved, kKernelCopyMax)));
    if (!copied || *copied == 0) break;
    moved += *copied;
    copy->bytes += *copied;
  }
  return CopyThroughBuffer(source, destination, length, buffer, copy, &moved);
}

}  // namespace

DotRule VolumeDots(std::uint64_t budget) {
  return DotRule{budget / 25 + 1, /*sync_destination=*/true, /*show_on_console=*/false};
}

DotRule TargetDots(std::int32_t chunk_length) {
  const std::int32_t step = chunk_length / 25;
  return DotRule{step > 0 ? static_cast<std::uint64_t>(step) : 0,
                 /*sync_destination=*/false, /*show_on_console=*/true};
}

CopyResult CopyBlocks(File& source, File& destination, std::uint64_t limit,
                      const DotRule& dots, ProgressMeter& meter) {
  std::vector<char> buffer;  // made when first needed
  std::uint64_t since_dot = 0;
  CopyResult copy;
  while (!copy.source_ended && copy.bytes < limit) {
    const std::uint64_t before = copy.bytes;
    copy.status =
        CopySegment(source, destination,
                    SegmentLength(dots, since_dot, limit - copy.bytes), buffer, &copy);
    if (copy.status != CopyStatus::kCopied) return copy;
    if (dots.bytes_per_dot == 0) continue;
    since_dot += copy.bytes - before;
    if (since_dot == dots.bytes_per_dot) {
      since_dot = 0;
      if (!MarkDot(destination, dots, meter)) copy.status = CopyStatus::kWriteFailed;
      if (copy.status != CopyStatus::kCopied) return copy;
    }
  }
  return copy;
}

}  // namespace slicery
