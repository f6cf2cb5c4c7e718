// The recovery chunks of a set's later recovery disks, computed in the same
// pass over the source as the first one's and kept in a scratch file of the
// temporary folder until their disks are in the drive: each of them then
// costs its own bytes, not another pass over the whole file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/env.h"
#include "platform/file.h"
#include "recovery/checksum.h"

namespace slicery {

class KeptRows {
 public:
  // Room for the recovery chunks of disks `first` to `end - 1` (0-based),
  // each `length` bytes in blocks of `block_size`. Null when there is none to
  // keep, or the temporary folder lacks the room or the file: each of those
  // disks is then computed from the source again.
  static std::unique_ptr<KeptRows> Make(Env& env, int first, int end,
                                        std::uint64_t length, std::uint64_t block_size);

  int first() const { return first_; }
  int end() const { return end_; }
  // Whether the recovery chunk of disk `row` is kept whole, with the checksum
  // of each of its blocks.
  bool Has(int row) const;

  // Keeping a chunk: Start, then every byte in order, then Finish once the
  // pass that computed it is known to be sound. A failed write forgets it.
  void Start(int row);
  void Put(int row, const unsigned char* bytes, std::size_t size);
  void Finish(int row);

  // The checksums of the blocks of the kept chunk of disk `row`.
  const std::vector<std::uint64_t>& Sums(int row) const;
  // The kept file, at the first byte of the kept chunk of disk `row`, to be
  // copied from; null when it is not kept or cannot be reached.
  File* Reader(int row);
  // A kept chunk that did not read back as it was kept.
  void Forget(int row);

 private:
  struct Row {
    explicit Row(std::uint64_t block_size) : sums(block_size, true) {}
    enum State { kEmpty, kFilling, kKept } state = kEmpty;
    std::uint64_t filled = 0;
    BlockSums sums;
  };
  KeptRows(std::unique_ptr<File> file, int first, int end, std::uint64_t length,
           std::uint64_t block_size);
  Row& At(int row) { return rows_[static_cast<std::size_t>(row - first_)]; }
  std::uint64_t PlaceOf(int row) const {
    return static_cast<std::uint64_t>(row - first_) * length_;
  }
  const Row* Find(int row) const;

  std::unique_ptr<File> file_;
  const int first_, end_;
  const std::uint64_t length_, block_size_;
  std::vector<Row> rows_;
};

}  // namespace slicery
