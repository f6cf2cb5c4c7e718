#include "recovery/block_check.h"

#include <algorithm>
#include <string_view>

#include "recovery/checksum.h"

namespace slicery {
namespace {

// Bytes read at once: a whole number of blocks, about 1 MiB.
constexpr std::size_t kSegment = 1024 * 1024;

class BlockChecker {
 public:
  BlockChecker(File& chunk, std::uint64_t length, std::uint64_t block_size,
               const std::vector<std::uint64_t>& sums, const GoodBlocks& good)
      : chunk_(chunk),
        length_(length),
        block_size_(block_size),
        sums_(sums),
        good_(good),
        buffer_(static_cast<std::size_t>(
            std::max<std::uint64_t>(block_size, kSegment / block_size * block_size))) {}

  // Reads a segment in one go; where that fails, block by block from each
  // block's own offset, so that one bad sector costs the blocks it lies in.
  bool Segment(std::uint64_t at) {
    const std::size_t size = Held(at, buffer_.size());
    bool failed = false;
    if (chunk_.Read(buffer_.data(), size, &failed) == size && !failed) {
      return Blocks(at, size);
    }
    for (std::uint64_t block = at; block < at + size; block += block_size_) {
      const std::size_t wanted = Held(block, static_cast<std::size_t>(block_size_));
      failed = false;
      const bool read = chunk_.Seek(block) &&
                        chunk_.Read(buffer_.data(), wanted, &failed) == wanted && !failed;
      if (!read) {
        result_.bad.push_back(block / block_size_);
      } else if (!Blocks(block, wanted)) {
        return false;
      }
    }
    // The next segment is read from its own offset, whatever the last read left.
    return chunk_.Seek(at + size);
  }

  // After the chunk: whether the file goes on past it.
  void End() {
    char extra;
    bool failed = false;
    result_.longer = chunk_.Read(&extra, 1, &failed) == 1;
  }

  BlockCheck& result() { return result_; }
  std::size_t segment() const { return buffer_.size(); }

 private:
  // Bytes of the chunk from `at`, at most `most`.
  std::size_t Held(std::uint64_t at, std::size_t most) const {
    return static_cast<std::size_t>(std::min<std::uint64_t>(most, length_ - at));
  }

  // The blocks read into the buffer, `size` bytes from chunk offset `at`:
  // each checked, and each run of good ones handed on at once.
  bool Blocks(std::uint64_t at, std::size_t size) {
    std::size_t run = 0;  // where the run of good blocks began in the buffer
    for (std::size_t from = 0; from < size; from += block_size_) {
      const std::size_t part = std::min<std::size_t>(block_size_, size - from);
      const std::uint64_t block = (at + from) / block_size_;
      const bool matches = block < sums_.size() &&
                           BlockChecksum({buffer_.data() + from, part}) == sums_[block];
      if (matches) continue;
      if (from > run && !good_(at + run, buffer_.data() + run, from - run)) return false;
      result_.bad.push_back(block);
      run = from + part;
    }
    return size <= run || good_(at + run, buffer_.data() + run, size - run);
  }

  File& chunk_;
  const std::uint64_t length_;
  const std::uint64_t block_size_;
  const std::vector<std::uint64_t>& sums_;
  const GoodBlocks& good_;
  std::vector<char> buffer_;
  BlockCheck result_;
};

}  // namespace

BlockCheck CheckBlocks(File& chunk, std::uint64_t length, std::uint64_t block_size,
                       const std::vector<std::uint64_t>& sums, ProgressMeter& meter,
                       const GoodBlocks& good) {
  BlockChecker checker(chunk, length, block_size, sums, good);
  std::uint64_t dots = 0;
  for (std::uint64_t at = 0; at < length; at += checker.segment()) {
    if (!checker.Segment(at)) {
      checker.result().stopped = true;
      return checker.result();
    }
    DrawDotsDue(meter, std::min<std::uint64_t>(at + checker.segment(), length), length,
                &dots);
  }
  checker.End();
  return checker.result();
}

bool FileMatchesRecord(File& file, const RecoveryRecord& record) {
  StreamChecksum whole(StreamChecksum::k128);
  std::vector<char> buffer(kSegment);
  std::uint64_t expected_offset = 0;
  if (!file.Seek(0)) return false;
  for (const ChunkEntry& entry : record.chunks) {
    if (entry.offset != expected_offset) return false;
    BlockSums chunk(record.block_size, false);
    for (std::uint64_t done = 0; done < entry.length;) {
      const std::size_t wanted = static_cast<std::size_t>(
          std::min<std::uint64_t>(buffer.size(), entry.length - done));
      bool failed = false;
      if (file.Read(buffer.data(), wanted, &failed) != wanted || failed) return false;
      chunk.Add(buffer.data(), wanted);
      whole.Add(buffer.data(), wanted);
      done += wanted;
    }
    chunk.Finish();
    if (chunk.chunk() != entry.checksum) return false;
    expected_offset += entry.length;
  }
  char extra;
  bool failed = false;
  return expected_offset == record.file_length && file.Read(&extra, 1, &failed) == 0 &&
         !failed && whole.Digest128() == record.file_checksum;
}

}  // namespace slicery
