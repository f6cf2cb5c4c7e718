#include "recovery/block_reader.h"

#include <algorithm>

#include "recovery/checksum.h"

namespace slicery {
namespace {

// The bytes read at once from neighbouring blocks that read well.
constexpr std::uint64_t kBatchBytes = 1024 * 1024;

}  // namespace

BlockReader::BlockReader(File& file, std::uint64_t length, std::uint64_t block_size,
                         std::vector<std::uint64_t> blocks, bool read_beside)
    : file_(file),
      length_(length),
      block_size_(block_size),
      blocks_(std::move(blocks)),
      read_beside_(read_beside),
      single_(block_size) {
  Plan(ahead_, 0);
  Read(ahead_);
}

BlockReader::~BlockReader() = default;

std::size_t BlockReader::SizeOf(std::uint64_t block) const {
  const std::uint64_t at = block * block_size_;
  return at < length_ ? static_cast<std::size_t>(std::min(block_size_, length_ - at)) : 0;
}

// As many blocks from position `first` as follow one another, up to the
// batch's bytes.
void BlockReader::Plan(Batch& batch, std::size_t first) const {
  const std::size_t most = static_cast<std::size_t>(
      std::max<std::uint64_t>(1, kBatchBytes / std::max<std::uint64_t>(1, block_size_)));
  batch.first = first;
  batch.count = 0;
  batch.read = false;
  while (first + batch.count < blocks_.size() && batch.count < most &&
         (batch.count == 0 ||
          blocks_[first + batch.count] == blocks_[first + batch.count - 1] + 1)) {
    ++batch.count;
  }
}

void BlockReader::Read(Batch& batch) {
  if (batch.count == 0) return;
  const std::uint64_t start = blocks_[batch.first];
  const std::uint64_t last = blocks_[batch.first + batch.count - 1];
  const std::size_t size =
      static_cast<std::size_t>((last - start) * block_size_ + SizeOf(last));
  batch.bytes.resize(batch.count * block_size_);
  bool failed = false;
  batch.read = file_.Seek(start * block_size_) &&
               file_.Read(batch.bytes.data(), size, &failed) == size && !failed;
  batch.sums.clear();
  for (std::size_t k = 0; batch.read && k < batch.count; ++k) {
    batch.sums.push_back(BlockChecksum(
        {batch.bytes.data() + k * block_size_, SizeOf(blocks_[batch.first + k])}));
  }
}

void BlockReader::ReadAhead() {
  Plan(ahead_, now_.first + now_.count);
  if (ahead_.count == 0) return;
  if (read_beside_) {
    if (!reader_) reader_.emplace();
    reader_->Start([this] { Read(ahead_); });
  } else {
    Read(ahead_);
  }
}

BlockReader::Block BlockReader::Next() {
  const std::size_t position = next_++;
  const std::uint64_t index = blocks_[position];
  if (!one_at_a_time_ && position == now_.first + now_.count) {
    if (reader_) reader_->Wait();
    std::swap(now_, ahead_);
    // A batch that did not read is read again block by block, and so is
    // everything after it.
    one_at_a_time_ = !now_.read;
    if (!one_at_a_time_) ReadAhead();
  }
  if (!one_at_a_time_) {
    const std::size_t k = static_cast<std::size_t>(index - blocks_[now_.first]);
    return {index, std::string_view(now_.bytes.data() + k * block_size_, SizeOf(index)),
            now_.sums[k]};
  }
  const std::size_t size = SizeOf(index);
  bool failed = false;
  if (file_.Seek(index * block_size_) &&
      file_.Read(single_.data(), size, &failed) == size && !failed) {
    const std::string_view bytes(single_.data(), size);
    return {index, bytes, BlockChecksum(bytes)};
  }
  return {index, std::nullopt, 0};
}

}  // namespace slicery
