// The blocks of recovery disks read so far, kept in a scratch file beside the
// file they help to rebuild, so that only one recovery disk at a time need be
// in the drive.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/env.h"
#include "platform/file.h"

namespace slicery {

class RecoveryBlockStore {
 public:
  // Blocks of `block_size` bytes, in a file made beside `beside` (named after
  // it with ".recovery", or with a number after that where the name is taken)
  // when the first block is kept. (Not `near`: Windows headers define that
  // word away.)
  RecoveryBlockStore(Env& env, std::string beside, std::uint64_t block_size)
      : env_(env), near_(std::move(beside)), block_size_(block_size) {}
  // Blocks of `block_size` bytes in `scratch`, a file open for reading and
  // writing that the caller made (a scratch file of the temporary folder,
  // which goes away with it), read back through the same handle.
  RecoveryBlockStore(Env& env, std::unique_ptr<File> scratch, std::uint64_t block_size)
      : env_(env), block_size_(block_size), writer_(std::move(scratch)) {}
  ~RecoveryBlockStore() { Remove(); }
  RecoveryBlockStore(const RecoveryBlockStore&) = delete;
  RecoveryBlockStore& operator=(const RecoveryBlockStore&) = delete;

  std::uint64_t block_size() const { return block_size_; }
  // Keeps block `block` of recovery disk `disk`, zeros after its bytes. False
  // when it could not be kept, or blocks are being read already.
  bool Put(std::uint64_t block, int disk, std::string_view bytes);
  // The recovery disks whose block `block` is kept: bit r for disk r.
  std::uint16_t Have(std::uint64_t block) const;
  // `size` bytes from `at` within the kept block `block` of disk `disk`.
  // The first call ends the keeping; a failure there forgets every block.
  bool Get(std::uint64_t block, int disk, std::uint64_t at, std::size_t size,
           unsigned char* into);
  // Removes the scratch file; nothing is kept afterwards.
  void Remove();

 private:
  bool Create();

  Env& env_;
  const std::string near_;
  const std::uint64_t block_size_;
  std::string path_;
  std::unique_ptr<File> writer_, reader_;
  bool reading_ = false;
  std::map<std::pair<std::uint64_t, int>, std::uint64_t> slots_;
  std::map<std::uint64_t, std::uint16_t> have_;
};

}  // namespace slicery
