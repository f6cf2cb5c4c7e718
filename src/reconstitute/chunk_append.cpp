#include "reconstitute/chunk_append.h"

#include <algorithm>
#include <ostream>
#include <vector>

namespace slicery {
namespace {

// Bytes from `counter` to the next dot, or all of `size` when no dots are due
// (a step of 0 or below is never reached by a counter that starts at 1).
std::size_t BytesBeforeDot(std::size_t size, std::int64_t dot_step,
                           std::int64_t counter) {
  if (dot_step <= 0) return size;
  return static_cast<std::size_t>(
      std::min<std::int64_t>(static_cast<std::int64_t>(size), dot_step - counter));
}

bool AppendWithDots(File& target, const char* bytes, std::size_t size,
                    std::int64_t dot_step, std::int64_t* dot_counter,
                    ProgressMeter& meter, std::ostream& console) {
  while (size > 0) {
    const std::size_t n = BytesBeforeDot(size, dot_step, *dot_counter);
    if (!target.Write(bytes, n)) return false;
    bytes += n;
    size -= n;
    if (dot_step <= 0) continue;
    *dot_counter += static_cast<std::int64_t>(n);
    if (*dot_counter == dot_step) {
      meter.Dot();
      console.flush();
      if (!target.Flush()) return false;
      *dot_counter = 0;
    }
  }
  return true;
}

}  // namespace

ChunkAppend AppendChunk(File& data, File& target, std::int32_t chunk_length,
                        ProgressMeter& meter, std::ostream& console) {
  const std::int64_t dot_step = chunk_length / 25;
  std::int64_t dot_counter = 0;
  std::vector<char> buffer(kReconstituteBufferSize);
  ChunkAppend append;
  for (;;) {
    bool failed = false;
    const std::size_t got = data.Read(buffer.data(), buffer.size(), &failed);
    if (failed) {
      append.status = AppendStatus::kReadFailed;
      return append;
    }
    if (!AppendWithDots(target, buffer.data(), got, dot_step, &dot_counter, meter,
                        console)) {
      append.status = AppendStatus::kWriteFailed;
      return append;
    }
    append.total += got;
    if (got < buffer.size()) return append;
  }
}

}  // namespace slicery
