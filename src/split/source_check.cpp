#include "split/source_check.h"

#include <algorithm>
#include <ostream>

#include "diskset/block_copy.h"
#include "ui/console.h"
#include "ui/progress_meter.h"

namespace slicery {
namespace {

// A progress line that counts 25ths of `total` bytes.
struct Dots {
  ProgressMeter& meter;
  std::uint64_t total;
  std::uint64_t done = 0;
  std::uint64_t drawn = 0;
};

// SumChunk, carrying on the file's checksum in `file` and the dots in `dots`
// when given.
ChunkRead SumChunkDotted(File& source, std::uint64_t length, std::uint64_t block_size,
                         std::uint64_t* sum, StreamChecksum* file, Dots* dots) {
  std::vector<char> buffer(std::min<std::uint64_t>(length, kCopyBufferSize));
  BlockSums sums(block_size, false);
  for (std::uint64_t left = length; left > 0;) {
    const std::size_t wanted = std::min<std::uint64_t>(left, buffer.size());
    bool failed = false;
    const std::size_t got = source.Read(buffer.data(), wanted, &failed);
    if (failed) return ChunkRead::kFailed;
    if (got < wanted) return ChunkRead::kShort;
    sums.Add(buffer.data(), got);
    if (file != nullptr) file->Add(buffer.data(), got);
    left -= got;
    if (dots != nullptr) {
      dots->done += got;
      DrawDotsDue(dots->meter, dots->done, dots->total, &dots->drawn);
    }
  }
  sums.Finish();
  *sum = sums.chunk();
  return ChunkRead::kRead;
}

}  // namespace

ChunkRead SumChunk(File& source, std::uint64_t length, std::uint64_t block_size,
                   std::uint64_t* sum) {
  return SumChunkDotted(source, length, block_size, sum, nullptr, nullptr);
}

std::uint64_t EndOf(const std::vector<ChunkEntry>& chunks) {
  return chunks.empty() ? 0 : chunks.back().offset + chunks.back().length;
}

SourceCheck CheckSource(Context& ctx, File& source, const SplitProgress& earlier,
                        StreamChecksum* file) {
  if (!source.Seek(0)) return SourceCheck::kUnreadable;
  ProgressMeter meter(ctx.out);
  Dots dots{meter, EndOf(earlier.chunks)};
  meter.Start("Checking the file [");
  SourceCheck result = SourceCheck::kSame;
  for (const ChunkEntry& chunk : earlier.chunks) {
    std::uint64_t sum = 0;
    const ChunkRead read =
        SumChunkDotted(source, chunk.length, earlier.block_size, &sum, file, &dots);
    if (read == ChunkRead::kFailed) result = SourceCheck::kUnreadable;
    if (read == ChunkRead::kShort || (read == ChunkRead::kRead && sum != chunk.checksum))
      result = SourceCheck::kChanged;
    if (result != SourceCheck::kSame) break;
  }
  meter.Finish();
  if (result == SourceCheck::kSame) ctx.out << dots.total << " bytes as before";
  EndLine(ctx);
  return result;
}

}  // namespace slicery
