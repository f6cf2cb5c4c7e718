#include "diskset/read_back.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "diskset/block_copy.h"

namespace slicery {
namespace {

// One byte past the chunk: the medium must have none.
bool EndsHere(File& medium) {
  char extra;
  bool failed = false;
  return medium.Read(&extra, 1, &failed) == 0 && !failed;
}

}  // namespace

ChunkComparison CompareChunk(File& medium, File& source, std::uint64_t length,
                             ProgressMeter& meter, ChunkWatcher* watcher) {
  std::vector<char> stored(kCopyBufferSize), original(kCopyBufferSize);
  if (watcher != nullptr) watcher->Start();
  std::uint64_t done = 0, dots = 0;
  while (done < length) {
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(stored.size(), length - done));
    bool medium_failed = false, source_failed = false;
    const std::size_t got = medium.Read(stored.data(), wanted, &medium_failed);
    const std::size_t again = source.Read(original.data(), wanted, &source_failed);
    if (source_failed) return ChunkComparison::kSourceFailed;
    if (medium_failed || got != wanted || again != wanted ||
        std::memcmp(stored.data(), original.data(), wanted) != 0) {
      return ChunkComparison::kDiffers;
    }
    if (watcher != nullptr) watcher->Bytes(original.data(), wanted);
    done += wanted;
    DrawDotsDue(meter, done, length, &dots);
  }
  return EndsHere(medium) ? ChunkComparison::kEqual : ChunkComparison::kDiffers;
}

}  // namespace slicery
