#include "recovery/file_checksums.h"

#include <algorithm>

namespace slicery {

std::optional<SetChecksums> ChecksumChunks(File& file,
                                           const std::vector<std::uint64_t>& lengths,
                                           std::uint64_t block_size) {
  SetChecksums sums;
  StreamChecksum whole(StreamChecksum::k128);
  std::vector<char> buffer(1 << 20);
  bool failed = false;
  if (!file.Seek(0)) return std::nullopt;
  for (const std::uint64_t length : lengths) {
    BlockSums chunk(block_size, false);
    for (std::uint64_t done = 0; done < length;) {
      const std::size_t wanted =
          static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), length - done));
      if (file.Read(buffer.data(), wanted, &failed) != wanted || failed) {
        return std::nullopt;
      }
      chunk.Add(buffer.data(), wanted);
      whole.Add(buffer.data(), wanted);
      done += wanted;
    }
    chunk.Finish();
    sums.chunks.push_back(chunk.chunk());
  }
  char extra;
  if (file.Read(&extra, 1, &failed) != 0 || failed) return std::nullopt;
  sums.file = whole.Digest128();
  return sums;
}

}  // namespace slicery
