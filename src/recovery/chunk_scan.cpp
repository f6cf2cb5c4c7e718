#include "recovery/chunk_scan.h"

#include <algorithm>

#include "recovery/checksum.h"
#include "recovery/recovery_files.h"

namespace slicery {
namespace {

// Reads `size` bytes at `offset` of `data` into `into`. False on a read error
// or a file that ends early.
bool ReadBlock(File& data, std::uint64_t offset, std::size_t size,
               std::vector<char>* into) {
  bool failed = false;
  return data.Seek(offset) && data.Read(into->data(), size, &failed) == size && !failed;
}

}  // namespace

ChunkScan ScanChunk(File& data, std::uint64_t length, std::uint64_t block_size,
                    const std::vector<std::uint64_t>* sums,
                    const std::function<bool(std::uint64_t, std::string_view)>& take,
                    const std::function<bool()>& keep_reading, ProgressMeter& meter) {
  ChunkScan scan;
  ChunkChecksum chunk;
  bool whole = true;
  int failures = 0;  // read errors in a row
  std::uint64_t dots = 0;
  std::vector<char> block(block_size);
  const std::uint64_t blocks = BlocksIn(length, block_size);
  for (std::uint64_t j = 0; j < blocks; ++j) {
    const std::size_t size = std::min<std::uint64_t>(block_size, length - j * block_size);
    const bool read = ReadBlock(data, j * block_size, size, &block);
    const std::uint64_t sum = read ? BlockChecksum({block.data(), size}) : 0;
    chunk.AddBlock(sum);
    whole = whole && read;
    failures = read ? 0 : failures + 1;
    if (read && (sums == nullptr || sum == (*sums)[j])) {
      if (!take(j, {block.data(), size})) {
        scan.stopped = true;
        return scan;
      }
      scan.good_bytes += size;
    } else {
      scan.bad.push_back(j);
    }
    DrawDotsDue(meter, j * block_size + size, length, &dots);
    if (failures == kFailuresInARow) {
      failures = 0;
      if (!keep_reading()) {
        while (++j < blocks) scan.bad.push_back(j);
        return scan;
      }
    }
  }
  if (whole) scan.chunk_checksum = chunk.Digest();
  return scan;
}

}  // namespace slicery
