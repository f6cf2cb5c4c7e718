// Rebuilding the data blocks a set has lost, stripe by stripe, from its
// recovery blocks: the blocks at the same place of every data chunk, and of
// every recovery chunk, are one stripe of the code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "platform/file.h"

namespace slicery {

// A data disk of a set with recovery disks, as read: where its chunk lies in
// the file, and which of its blocks are bad, with the checksum each should
// have where the disk's checksum file told it; the bad blocks in order.
struct DiskBlocks {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  bool all_bad = false;
  std::vector<std::pair<std::uint64_t, std::optional<std::uint64_t>>> bad;

  bool IsBad(std::uint64_t block) const;
  std::optional<std::uint64_t> KnownSum(std::uint64_t block) const;
  bool Damaged() const { return all_bad || !bad.empty(); }
};

// The stripes whose data blocks are not all good, each with a slot for the
// recovery blocks gathered for it; then their rebuilding.
class StripeRepair {
 public:
  StripeRepair(std::uint64_t block_size, int recovery_disks,
               const std::vector<DiskBlocks>& disks);

  // The damaged stripes, in order: how many, and which block of the chunks
  // each one is.
  std::size_t slots() const { return stripes_.size(); }
  std::uint64_t block(std::size_t slot) const { return stripes_[slot].block; }
  // The slot of the stripe at block `block`, when it is damaged.
  std::optional<std::size_t> SlotOf(std::uint64_t block) const;

  // Where recovery block `index` of a slot's stripe is kept, from the start of
  // the space kept for them, which takes ScratchBytes() in all.
  std::uint64_t ScratchOffset(std::size_t slot, int index) const;
  std::uint64_t ScratchBytes() const;
  // Recovery block `index` of the slot's stripe is kept, and good.
  void Have(std::size_t slot, int index);
  // Whether every damaged stripe has as many good recovery blocks kept as it
  // has bad data blocks.
  bool Satisfied() const;

  // Rebuilds each damaged stripe that has enough recovery blocks: the good
  // blocks of the other data disks are read from `written` at their offsets in
  // the file, the recovery blocks from `scratch` from `scratch_base` on, and
  // the rebuilt blocks written into `target` at theirs. A rebuilt block whose
  // checksum its disk told must have it. The data disks whose blocks stay
  // lost, in order and each once; *target_failed when the file did not read
  // or take a block.
  std::vector<std::int32_t> Rebuild(File& target, File& written, File& scratch,
                                    std::uint64_t scratch_base,
                                    bool* target_failed) const;

 private:
  struct Stripe {
    std::uint64_t block = 0;
    int bad = 0;
    std::uint16_t have = 0;  // a bit for each recovery block kept
  };

  bool RebuildStripe(File& target, File& written, File& scratch, std::uint64_t base,
                     std::size_t slot, bool* target_failed,
                     std::vector<std::int32_t>* lost) const;

  const std::uint64_t block_size_;
  const int recovery_disks_;
  const std::vector<DiskBlocks>& disks_;
  std::vector<Stripe> stripes_;
};

}  // namespace slicery
