#include "recovery/chunk_scan.h"

#include <algorithm>

#include "recovery/block_reader.h"
#include "recovery/checksum.h"
#include "recovery/recovery_files.h"

namespace slicery {

ChunkScan ScanChunk(File& data, std::uint64_t length, std::uint64_t block_size,
                    const std::vector<std::uint64_t>* sums,
                    const std::function<bool(std::uint64_t, std::string_view)>& take,
                    const std::function<bool()>& keep_reading, ProgressMeter& meter,
                    bool read_beside) {
  ChunkScan scan;
  ChunkChecksum chunk;
  bool whole = true;
  int failures = 0;  // read errors in a row
  std::uint64_t dots = 0;
  const std::uint64_t blocks = BlocksIn(length, block_size);
  std::vector<std::uint64_t> every(blocks);
  for (std::uint64_t j = 0; j < blocks; ++j) every[j] = j;
  BlockReader reader(data, length, block_size, std::move(every), read_beside);
  for (std::uint64_t j = 0; j < blocks; ++j) {
    const BlockReader::Block next = reader.Next();
    const std::optional<std::string_view>& block = next.bytes;
    const std::uint64_t sum = next.sum;
    chunk.AddBlock(sum);
    whole = whole && block;
    failures = block ? 0 : failures + 1;
    if (block && (sums == nullptr || sum == (*sums)[j])) {
      if (!take(j, *block)) {
        scan.stopped = true;
        return scan;
      }
      scan.good_bytes += block->size();
    } else {
      scan.bad.push_back(j);
    }
    DrawDotsDue(meter, std::min(length, (j + 1) * block_size), length, &dots);
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
