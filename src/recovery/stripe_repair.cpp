#include "recovery/stripe_repair.h"

#include <algorithm>
#include <bit>

#include "recovery/recovery_files.h"
#include "recovery/recovery_writer.h"
#include "recovery/stripe_codec.h"

namespace slicery {
namespace {

// Reads `size` bytes at `offset` of `file` into `into`, zeros after them.
bool ReadAt(File& file, std::uint64_t offset, std::size_t size, std::size_t padded,
            unsigned char* into) {
  std::fill(into + size, into + padded, 0);
  if (size == 0) return true;
  bool failed = false;
  return file.Seek(offset) &&
         file.Read(reinterpret_cast<char*>(into), size, &failed) == size && !failed;
}

// The bytes of `length` that lie from `at` on, at most `size`.
std::size_t Held(std::uint64_t length, std::uint64_t at, std::size_t size) {
  return length > at
             ? static_cast<std::size_t>(std::min<std::uint64_t>(size, length - at))
             : 0;
}

using BadList = std::vector<std::pair<std::uint64_t, std::optional<std::uint64_t>>>;

// Bad blocks are noted in order, so a search finds them.
BadList::const_iterator FindBad(const BadList& bad, std::uint64_t block) {
  const auto found = std::lower_bound(
      bad.begin(), bad.end(), block,
      [](const auto& entry, std::uint64_t wanted) { return entry.first < wanted; });
  return found != bad.end() && found->first == block ? found : bad.end();
}

// Reads `size` bytes of recovery disk `disk` from `at` in the file's stripes
// into `into`, block by block from the store.
bool ReadRecovery(RecoveryBlockStore& store, int disk, std::uint64_t at, std::size_t size,
                  unsigned char* into) {
  const std::uint64_t block_size = store.block_size();
  for (std::size_t done = 0; done < size;) {
    const std::uint64_t place = at + done;
    const std::size_t piece = static_cast<std::size_t>(
        std::min<std::uint64_t>(size - done, block_size - place % block_size));
    if (!store.Get(place / block_size, disk, place % block_size, piece, into + done)) {
      return false;
    }
    done += piece;
  }
  return true;
}

}  // namespace

bool DiskBlocks::IsBad(std::uint64_t block) const {
  return all_bad || FindBad(bad, block) != bad.end();
}

std::optional<std::uint64_t> DiskBlocks::KnownSum(std::uint64_t block) const {
  const auto found = FindBad(bad, block);
  return found == bad.end() ? std::nullopt : found->second;
}

int StripeRepair::BadIn(std::uint64_t block) const {
  int bad = 0;
  for (const DiskBlocks& disk : disks_) {
    bad += block * block_size_ < disk.length && disk.IsBad(block);
  }
  return bad;
}

std::vector<DamagedStripe> StripeRepair::Plan() const {
  std::vector<DamagedStripe> stripes;
  std::uint64_t longest = 0;
  for (const DiskBlocks& disk : disks_) longest = std::max(longest, disk.length);
  for (std::uint64_t j = 0; j < BlocksIn(longest, block_size_); ++j) {
    const DamagedStripe stripe{j, BadIn(j)};
    if (stripe.bad > 0) stripes.push_back(stripe);
  }
  return stripes;
}

// Which blocks of the stripe at `block` are lost: its bad data blocks, and
// the recovery blocks not kept.
std::vector<bool> StripeRepair::LostIn(std::uint64_t block, std::uint16_t have) const {
  const std::size_t data = disks_.size();
  std::vector<bool> lost(data + static_cast<std::size_t>(recovery_disks_));
  for (std::size_t i = 0; i < data; ++i) {
    lost[i] = block * block_size_ < disks_[i].length && disks_[i].IsBad(block);
  }
  for (int r = 0; r < recovery_disks_; ++r) lost[data + r] = !(have >> r & 1);
  return lost;
}

// Rebuilds the bad data blocks of the `count` stripes from `block` on, which
// lose the same blocks, into the target from the good ones (read back through
// `written`) and the recovery blocks kept: one read of each disk and one pass
// of the codec for all of them. False when they could not be rebuilt; a
// rebuilt block without the checksum its disk told is lost all the same.
bool StripeRepair::RebuildRun(File& target, File& written, RecoveryBlockStore& store,
                              std::uint64_t block, std::uint64_t count, Buffers& buffers,
                              std::vector<ChunkChecksum>& chains,
                              StripeLoss* loss) const {
  const int data = static_cast<int>(disks_.size());
  const std::vector<bool> lost = LostIn(block, store.Have(block));
  const std::uint64_t start = block * block_size_, end = (block + count) * block_size_;
  const std::size_t segment = std::min<std::uint64_t>(end - start, buffers.size);
  unsigned char* const* blocks = buffers.blocks.data();
  std::vector<BlockSums> sums(data, BlockSums(block_size_, true));
  const StripeCodec codec(data, recovery_disks_);
  for (std::uint64_t at = start; at < end; at += segment) {
    const std::size_t size = std::min<std::uint64_t>(segment, end - at);
    for (int i = 0; i < data; ++i) {
      const std::size_t held = Held(disks_[i].length, at, size);
      if (!lost[i] && !ReadAt(written, disks_[i].offset + at, held, size, blocks[i])) {
        loss->target_failed = true;
        return false;
      }
    }
    for (int r = 0; r < recovery_disks_; ++r) {
      if (!lost[data + r] && !ReadRecovery(store, r, at, size, blocks[data + r])) {
        return false;
      }
    }
    if (!codec.Rebuild(size, blocks, lost)) return false;
    for (int i = 0; i < data; ++i) {
      const std::size_t held = Held(disks_[i].length, at, size);
      if (!lost[i] || held == 0) continue;
      sums[i].Add(blocks[i], held);
      if (!target.Seek(disks_[i].offset + at) ||
          !target.Write(reinterpret_cast<const char*>(blocks[i]), held)) {
        loss->target_failed = true;
        return false;
      }
    }
  }
  // A rebuilt block whose checksum its disk told must have it.
  for (int i = 0; i < data; ++i) {
    if (!lost[i]) continue;
    sums[i].Finish();
    for (std::uint64_t j = 0; j < sums[i].blocks().size(); ++j) {
      const std::uint64_t sum = sums[i].blocks()[j];
      chains[i].AddBlock(sum);
      const std::optional<std::uint64_t> known = disks_[i].KnownSum(block + j);
      if (known && sum != *known) {
        loss->disks.push_back(i);
        loss->bytes += Held(disks_[i].length, (block + j) * block_size_, block_size_);
      }
    }
  }
  return true;
}

// The bad blocks of a stripe that could not be rebuilt.
void StripeRepair::Lose(const DamagedStripe& stripe, StripeLoss* loss) const {
  const std::uint64_t start = stripe.block * block_size_;
  for (std::size_t i = 0; i < disks_.size(); ++i) {
    if (start < disks_[i].length && disks_[i].IsBad(stripe.block)) {
      loss->disks.push_back(static_cast<std::int32_t>(i));
      loss->bytes += Held(disks_[i].length, start, block_size_);
    }
  }
}

StripeLoss StripeRepair::Rebuild(const std::vector<DamagedStripe>& stripes,
                                 RecoveryBlockStore* store, File& target,
                                 File* written) const {
  StripeLoss loss;
  std::vector<ChunkChecksum> chains(disks_.size());
  const int total = static_cast<int>(disks_.size()) + recovery_disks_;
  // One segment of every block of a stripe, made once for all the stripes.
  Buffers buffers;
  buffers.size = stripes.empty() ? 0
                                 : std::min<std::uint64_t>(
                                       StripeSegmentSize(total),
                                       std::max<std::uint64_t>(block_size_, kRunBytes));
  buffers.bytes.resize(buffers.size * total);
  for (int b = 0; b < total; ++b)
    buffers.blocks.push_back(&buffers.bytes[b * buffers.size]);
  const std::uint64_t most = std::max<std::uint64_t>(1, buffers.size / block_size_);
  for (std::size_t s = 0; s < stripes.size() && !loss.target_failed;) {
    const DamagedStripe& first = stripes[s];
    const bool enough = store && std::popcount(store->Have(first.block)) >= first.bad;
    if (!enough || !written) {
      Lose(first, &loss);
      ++s;
      continue;
    }
    // The stripes right after it that lose the same blocks go with it.
    const std::vector<bool> lost = LostIn(first.block, store->Have(first.block));
    std::uint64_t count = 1;
    while (s + count < stripes.size() && count < most &&
           stripes[s + count].block == first.block + count &&
           LostIn(first.block + count, store->Have(first.block + count)) == lost) {
      ++count;
    }
    if (!RebuildRun(target, *written, *store, first.block, count, buffers, chains,
                    &loss)) {
      for (std::uint64_t k = 0; k < count; ++k) Lose(stripes[s + k], &loss);
    }
    s += count;
  }
  // A disk lost whole has every stripe damaged, rebuilt in order, where the
  // stripes given are all of them.
  loss.rebuilt_whole.resize(disks_.size());
  for (std::size_t i = 0; i < disks_.size(); ++i) {
    const bool lost = std::find(loss.disks.begin(), loss.disks.end(),
                                static_cast<std::int32_t>(i)) != loss.disks.end();
    if (disks_[i].all_bad && !lost && !loss.target_failed &&
        chains[i].blocks() == BlocksIn(disks_[i].length, block_size_)) {
      loss.rebuilt_whole[i] = chains[i].Digest();
    }
  }
  std::sort(loss.disks.begin(), loss.disks.end());
  loss.disks.erase(std::unique(loss.disks.begin(), loss.disks.end()), loss.disks.end());
  return loss;
}

}  // namespace slicery
