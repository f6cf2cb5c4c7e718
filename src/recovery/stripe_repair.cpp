#include "recovery/stripe_repair.h"

#include <algorithm>
#include <bit>

#include "recovery/checksum.h"
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

// Rebuilds the bad data blocks of `stripe` into the target from the good ones
// (read back through `written`) and the recovery blocks kept. False when it
// could not be rebuilt; a rebuilt block without the checksum its disk told is
// lost all the same.
bool StripeRepair::RebuildStripe(File& target, File& written, RecoveryBlockStore& store,
                                 const DamagedStripe& stripe, StripeLoss* loss) const {
  const int data = static_cast<int>(disks_.size());
  const int total = data + recovery_disks_;
  const std::uint16_t have = store.Have(stripe.block);
  const std::size_t segment =
      std::min<std::uint64_t>(block_size_, StripeSegmentSize(total));
  std::vector<std::vector<unsigned char>> buffers(total,
                                                  std::vector<unsigned char>(segment));
  std::vector<unsigned char*> blocks;
  for (auto& buffer : buffers) blocks.push_back(buffer.data());
  std::vector<bool> lost(total);
  std::vector<StreamChecksum> sums(data, StreamChecksum(StreamChecksum::k64));
  const std::uint64_t start = stripe.block * block_size_;
  for (int i = 0; i < data; ++i) {
    lost[i] = start < disks_[i].length && disks_[i].IsBad(stripe.block);
  }
  for (int r = 0; r < recovery_disks_; ++r) lost[data + r] = !(have >> r & 1);
  const StripeCodec codec(data, recovery_disks_);
  for (std::uint64_t at = 0; at < block_size_; at += segment) {
    for (int i = 0; i < data; ++i) {
      const std::size_t held = Held(disks_[i].length, start + at, segment);
      if (!lost[i] &&
          !ReadAt(written, disks_[i].offset + start + at, held, segment, blocks[i])) {
        loss->target_failed = true;
        return false;
      }
    }
    for (int r = 0; r < recovery_disks_; ++r) {
      if (!lost[data + r] && !store.Get(stripe.block, r, at, segment, blocks[data + r])) {
        return false;
      }
    }
    if (!codec.Rebuild(segment, blocks.data(), lost)) return false;
    for (int i = 0; i < data; ++i) {
      const std::size_t held = Held(disks_[i].length, start + at, segment);
      if (!lost[i] || held == 0) continue;
      sums[i].Add(blocks[i], held);
      if (!target.Seek(disks_[i].offset + start + at) ||
          !target.Write(reinterpret_cast<const char*>(blocks[i]), held)) {
        loss->target_failed = true;
        return false;
      }
    }
  }
  // A rebuilt block whose checksum its disk told must have it.
  for (int i = 0; i < data; ++i) {
    const std::optional<std::uint64_t> known =
        lost[i] ? disks_[i].KnownSum(stripe.block) : std::nullopt;
    if (known && sums[i].Digest64() != *known) {
      loss->disks.push_back(i);
      loss->bytes += Held(disks_[i].length, start, block_size_);
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
  for (const DamagedStripe& stripe : stripes) {
    if (loss.target_failed) break;
    const bool enough = store && std::popcount(store->Have(stripe.block)) >= stripe.bad;
    if (!enough || !written || !RebuildStripe(target, *written, *store, stripe, &loss)) {
      Lose(stripe, &loss);
    }
  }
  std::sort(loss.disks.begin(), loss.disks.end());
  loss.disks.erase(std::unique(loss.disks.begin(), loss.disks.end()), loss.disks.end());
  return loss;
}

}  // namespace slicery
