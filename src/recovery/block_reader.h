// Reads chosen blocks of a file in order, for a pass that checks each one:
// many neighbouring blocks at once while they read well, the next ones on a
// thread of their own where the host allows it, and one block at a time,
// nothing read ahead, once a read has failed, so that a read error costs its
// block only and a failing disk is noticed as soon as it fails. Each block's
// checksum is taken where it is read, so that a pass that checks blocks
// leaves its own thread free for what it does with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "recovery/task_thread.h"

namespace slicery {

class BlockReader {
 public:
  // Blocks `blocks` (in ascending order) of `block_size` bytes of the
  // `length` bytes of `file`, the last one short where the file ends inside
  // it. With `read_beside`, which the host's files must allow (see
  // Env::FilesAcrossThreads), the next blocks are read on a thread of their
  // own while the caller checks these.
  BlockReader(File& file, std::uint64_t length, std::uint64_t block_size,
              std::vector<std::uint64_t> blocks, bool read_beside);
  ~BlockReader();
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;

  // The next block: its bytes and their checksum (BlockChecksum), taken
  // where they were read, or nothing where it did not read. Valid until the
  // next call.
  struct Block {
    std::uint64_t index = 0;
    std::optional<std::string_view> bytes;
    std::uint64_t sum = 0;
  };
  Block Next();
  bool Done() const { return next_ >= blocks_.size(); }

 private:
  // Neighbouring blocks read at once: `count` of them from position `first`
  // of the blocks asked for.
  struct Batch {
    std::size_t first = 0, count = 0;
    std::vector<char> bytes;
    std::vector<std::uint64_t> sums;
    bool read = false;
  };
  std::size_t SizeOf(std::uint64_t block) const;
  void Plan(Batch& batch, std::size_t first) const;
  void Read(Batch& batch);
  void ReadAhead();

  File& file_;
  const std::uint64_t length_, block_size_;
  const std::vector<std::uint64_t> blocks_;
  const bool read_beside_;
  std::size_t next_ = 0;  // position of the next block to hand out
  bool one_at_a_time_ = false;
  Batch now_, ahead_;
  std::optional<TaskThread> reader_;  // after what its reads fill
  std::vector<char> single_;
};

}  // namespace slicery
