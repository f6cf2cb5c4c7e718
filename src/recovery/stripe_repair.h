// Rebuilding the data blocks a set has lost, stripe by stripe, from its
// recovery blocks: the blocks at the same place of every data chunk, and of
// every recovery chunk, are one stripe of the code. The rebuild, which writes
// the file, and the check, which keeps it for new copies of damaged disks,
// both rebuild this way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "recovery/checksum.h"
#include "recovery/recovery_block_store.h"
#include "recovery/stripe_codec.h"

namespace slicery {

// A data disk of a set with recovery disks, as read: where its chunk lies in
// the file, and which of its blocks are bad, with the checksum each should
// have where the disk's checksum file told it; the bad blocks in order.
struct DiskBlocks {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  bool all_bad = false;    // nothing of it can be used: not at hand, or unreadable
  bool unchecked = false;  // read without its checksum file
  std::vector<std::pair<std::uint64_t, std::optional<std::uint64_t>>> bad;
  // The chunk checksum (see ChunkChecksum) of the bytes written at its place
  // in the file, where it is known without reading them again: its checksum
  // file's, whose blocks its good ones matched and its rebuilt ones must; or
  // that of a disk read whole without one; or that of a disk rebuilt whole.
  std::optional<std::uint64_t> written;

  bool IsBad(std::uint64_t block) const;
  std::optional<std::uint64_t> KnownSum(std::uint64_t block) const;
  bool Damaged() const { return all_bad || !bad.empty(); }
};

// A stripe with bad data blocks: its place, and how many are bad.
struct DamagedStripe {
  std::uint64_t block = 0;
  int bad = 0;
};

// What a repair could not rebuild: the data disks whose blocks stay lost, in
// order and each once, and their bytes.
struct StripeLoss {
  std::vector<std::int32_t> disks;
  std::uint64_t bytes = 0;
  bool target_failed = false;  // the file did not read or take a block
  // For each data disk that was rebuilt whole, the chunk checksum of the
  // bytes rebuilt, in order: there where each of its blocks was rebuilt.
  std::vector<std::optional<std::uint64_t>> rebuilt_whole;
};

class StripeRepair {
 public:
  StripeRepair(const std::vector<DiskBlocks>& disks, std::uint64_t block_size,
               int recovery_disks)
      : disks_(disks), block_size_(block_size), recovery_disks_(recovery_disks) {}

  // The bad data blocks of the stripe at block `block`.
  int BadIn(std::uint64_t block) const;
  // The stripes with bad data blocks, in order.
  std::vector<DamagedStripe> Plan() const;

  // Rebuilds each of `stripes` for which `store` keeps as many recovery blocks
  // as it has bad data blocks: the good blocks of the other data disks are
  // read from `written` at their offsets in the file, and the rebuilt ones
  // written into `target` at theirs. A rebuilt block whose checksum its disk
  // told must have it. Without `written` or `store`, nothing is rebuilt.
  // With `read_beside`, which the host's files must allow (see
  // Env::FilesAcrossThreads), the next stripes are read on a thread of their
  // own while these are rebuilt and written.
  StripeLoss Rebuild(const std::vector<DamagedStripe>& stripes, RecoveryBlockStore* store,
                     File& target, File* written, bool read_beside) const;

 private:
  // A run of neighbouring stripes that lose the same blocks, rebuilt
  // together: `count` stripes from stripe `block`, the `first` of those given.
  struct Run {
    std::size_t first = 0;
    std::uint64_t block = 0;
    std::uint64_t count = 0;
    std::vector<bool> lost;  // data blocks, then recovery blocks
    bool failed = false;     // its stripes could not be rebuilt
  };
  // The part of a run read at once: `size` bytes from `at` of every chunk.
  struct Piece {
    std::size_t run = 0;
    std::uint64_t at = 0;
    std::size_t size = 0;
  };
  // One piece's bytes of every block of its stripes, and how reading went.
  struct Buffers {
    std::vector<unsigned char> bytes;
    std::vector<unsigned char*> blocks;
    enum class Read { kDone, kTargetFailed, kStoreFailed } read = Read::kDone;
  };
  // The bytes of each disk read at once for a run of stripes rebuilt
  // together: a few reads of each disk where a stripe at a time would take
  // many, in little memory.
  static constexpr std::uint64_t kRunBytes = 256 * 1024;

  std::vector<bool> LostIn(std::uint64_t block, std::uint16_t have) const;
  std::vector<Run> PlanRuns(const std::vector<DamagedStripe>& stripes,
                            RecoveryBlockStore* store, std::size_t segment,
                            StripeLoss* loss) const;
  std::optional<Piece> NextPiece(const std::vector<Run>& runs,
                                 const std::optional<Piece>& after,
                                 std::size_t segment) const;
  void ReadPiece(const Run& run, const Piece& piece, File& written,
                 RecoveryBlockStore& store, Buffers& into) const;
  void WritePiece(const StripeCodec& codec, Run& run, const Piece& piece, Buffers& from,
                  File& target, std::vector<BlockSums>& sums, StripeLoss* loss) const;
  void FinishRun(const std::vector<DamagedStripe>& stripes, const Run& run,
                 std::vector<BlockSums>& sums, std::vector<ChunkChecksum>& chains,
                 StripeLoss* loss) const;
  void Lose(const DamagedStripe& stripe, StripeLoss* loss) const;

  const std::vector<DiskBlocks>& disks_;
  const std::uint64_t block_size_;
  const int recovery_disks_;
};

}  // namespace slicery
