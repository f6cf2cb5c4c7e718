#include "recovery/stripe_repair.h"

#include <algorithm>
#include <bit>

#include "recovery/checksum.h"
#include "recovery/recovery_files.h"
#include "recovery/recovery_writer.h"
#include "recovery/stripe_codec.h"

namespace slicery {
namespace {

// Reads `size` bytes at `offset` of `file` into `into`, zeros after them up
// to `padded`.
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

}  // namespace

namespace {

// The entry of `block` among a disk's bad blocks, which are in order.
auto FindBad(const DiskBlocks& disk, std::uint64_t block) {
  const auto it = std::lower_bound(
      disk.bad.begin(), disk.bad.end(), block,
      [](const auto& entry, std::uint64_t wanted) { return entry.first < wanted; });
  return it != disk.bad.end() && it->first == block ? it : disk.bad.end();
}

}  // namespace

bool DiskBlocks::IsBad(std::uint64_t block) const {
  return all_bad || FindBad(*this, block) != bad.end();
}

std::optional<std::uint64_t> DiskBlocks::KnownSum(std::uint64_t block) const {
  const auto it = FindBad(*this, block);
  return it != bad.end() ? it->second : std::nullopt;
}

StripeRepair::StripeRepair(std::uint64_t block_size, int recovery_disks,
                           const std::vector<DiskBlocks>& disks)
    : block_size_(block_size), recovery_disks_(recovery_disks), disks_(disks) {
  // Each disk adds its bad blocks; the stripes are those with any.
  std::vector<std::pair<std::uint64_t, int>> counted;
  for (const DiskBlocks& disk : disks_) {
    if (disk.all_bad) {
      for (std::uint64_t j = 0; j < BlocksIn(disk.length, block_size_); ++j) {
        counted.push_back({j, 1});
      }
    } else {
      for (const auto& entry : disk.bad) counted.push_back({entry.first, 1});
    }
  }
  std::sort(counted.begin(), counted.end());
  for (const auto& [block, one] : counted) {
    if (stripes_.empty() || stripes_.back().block != block)
      stripes_.push_back({block, 0});
    stripes_.back().bad += one;
  }
}

std::optional<std::size_t> StripeRepair::SlotOf(std::uint64_t block) const {
  const auto it = std::lower_bound(
      stripes_.begin(), stripes_.end(), block,
      [](const Stripe& stripe, std::uint64_t wanted) { return stripe.block < wanted; });
  if (it == stripes_.end() || it->block != block) return std::nullopt;
  return static_cast<std::size_t>(it - stripes_.begin());
}

std::uint64_t StripeRepair::ScratchOffset(std::size_t slot, int index) const {
  return (slot * recovery_disks_ + index) * block_size_;
}

std::uint64_t StripeRepair::ScratchBytes() const {
  return stripes_.size() * recovery_disks_ * block_size_;
}

void StripeRepair::Have(std::size_t slot, int index) {
  stripes_[slot].have |= static_cast<std::uint16_t>(1u << index);
}

bool StripeRepair::Satisfied() const {
  return std::all_of(stripes_.begin(), stripes_.end(), [](const Stripe& stripe) {
    return std::popcount(stripe.have) >= stripe.bad;
  });
}

bool StripeRepair::RebuildStripe(File& target, File& written, File& scratch,
                                 std::uint64_t base, std::size_t slot,
                                 bool* target_failed,
                                 std::vector<std::int32_t>* lost_disks) const {
  const Stripe& stripe = stripes_[slot];
  const int data = static_cast<int>(disks_.size());
  const int total = data + recovery_disks_;
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
  for (int r = 0; r < recovery_disks_; ++r) lost[data + r] = !(stripe.have >> r & 1);
  const StripeCodec codec(data, recovery_disks_);
  for (std::uint64_t at = 0; at < block_size_; at += segment) {
    for (int i = 0; i < data; ++i) {
      if (lost[i]) continue;
      const std::size_t held = Held(disks_[i].length, start + at, segment);
      if (!ReadAt(written, disks_[i].offset + start + at, held, segment, blocks[i])) {
        *target_failed = true;
        return false;
      }
    }
    for (int r = 0; r < recovery_disks_; ++r) {
      const std::uint64_t from = base + ScratchOffset(slot, r) + at;
      if (!lost[data + r] && !ReadAt(scratch, from, segment, segment, blocks[data + r])) {
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
        *target_failed = true;
        return false;
      }
    }
  }
  for (int i = 0; i < data; ++i) {
    const std::optional<std::uint64_t> known =
        lost[i] ? disks_[i].KnownSum(stripe.block) : std::nullopt;
    if (known && sums[i].Digest64() != *known) lost_disks->push_back(i);
  }
  return true;
}

std::vector<std::int32_t> StripeRepair::Rebuild(File& target, File& written,
                                                File& scratch, std::uint64_t scratch_base,
                                                bool* target_failed) const {
  std::vector<std::int32_t> lost;
  for (std::size_t s = 0; s < stripes_.size() && !*target_failed; ++s) {
    const bool enough = std::popcount(stripes_[s].have) >= stripes_[s].bad;
    if (enough &&
        RebuildStripe(target, written, scratch, scratch_base, s, target_failed, &lost)) {
      continue;
    }
    for (std::size_t i = 0; i < disks_.size(); ++i) {
      if (stripes_[s].block * block_size_ < disks_[i].length &&
          disks_[i].IsBad(stripes_[s].block)) {
        lost.push_back(static_cast<std::int32_t>(i));
      }
    }
  }
  std::sort(lost.begin(), lost.end());
  lost.erase(std::unique(lost.begin(), lost.end()), lost.end());
  return lost;
}

}  // namespace slicery
