// Rebuilds the bad blocks of a set from its recovery disks, stripe by stripe,
// and checks the rebuilt file against the set's checksums.
#include <algorithm>
#include <bit>
#include <memory>

#include "reconstitute/recovery_rebuild.h"
#include "recovery/checksum.h"
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

bool RecoveryRebuild::IsBad(const DataDisk& disk, std::uint64_t block) const {
  return disk.all_bad || FindBad(disk.bad, block) != disk.bad.end();
}

std::optional<std::uint64_t> RecoveryRebuild::KnownSum(const DataDisk& disk,
                                                       std::uint64_t block) const {
  const auto found = FindBad(disk.bad, block);
  return found == disk.bad.end() ? std::nullopt : found->second;
}

bool RecoveryRebuild::Coded() const {
  return disks_.size() + static_cast<std::size_t>(recovery_disks_) <= kMaxStripeBlocks;
}

int RecoveryRebuild::BadInStripe(std::uint64_t block) const {
  int bad = 0;
  for (const DataDisk& disk : disks_) {
    bad += block * block_size_ < disk.length && IsBad(disk, block);
  }
  return bad;
}

// Rebuilds the bad data blocks of `stripe` into the target from the good ones
// (read back through `written`) and the recovery blocks kept. False when it
// could not be rebuilt; a rebuilt block without the checksum its disk told is
// lost all the same.
bool RecoveryRebuild::RebuildStripe(File& target, File& written, const Stripe& stripe,
                                    Loss* loss) {
  const int data = static_cast<int>(disks_.size());
  const int total = data + recovery_disks_;
  const std::uint16_t have = store_ ? store_->Have(stripe.block) : 0;
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
    lost[i] = start < disks_[i].length && IsBad(disks_[i], stripe.block);
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
      if (!lost[data + r] &&
          !store_->Get(stripe.block, r, at, segment, blocks[data + r])) {
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
        lost[i] ? KnownSum(disks_[i], stripe.block) : std::nullopt;
    if (known && sums[i].Digest64() != *known) {
      loss->disks.push_back(i);
      loss->bytes += Held(disks_[i].length, start, block_size_);
    }
  }
  return true;
}

// The bad blocks of a stripe that could not be rebuilt.
void RecoveryRebuild::LoseStripe(const Stripe& stripe, Loss* loss) const {
  const std::uint64_t start = stripe.block * block_size_;
  for (std::size_t i = 0; i < disks_.size(); ++i) {
    if (start < disks_[i].length && IsBad(disks_[i], stripe.block)) {
      loss->disks.push_back(static_cast<std::int32_t>(i));
      loss->bytes += Held(disks_[i].length, start, block_size_);
    }
  }
}

std::vector<RecoveryRebuild::Stripe> RecoveryRebuild::PlanStripes() const {
  std::vector<Stripe> stripes;
  std::uint64_t longest = 0;
  for (const DataDisk& disk : disks_) longest = std::max(longest, disk.length);
  for (std::uint64_t j = 0; j < BlocksIn(longest, block_size_); ++j) {
    const Stripe stripe{j, BadInStripe(j)};
    if (stripe.bad > 0) stripes.push_back(stripe);
  }
  return stripes;
}

RecoveryRebuild::Loss RecoveryRebuild::Repair(File& target) {
  Loss loss;
  std::vector<std::int32_t> damaged;
  for (std::size_t i = 0; i < disks_.size(); ++i) {
    if (disks_[i].all_bad || !disks_[i].bad.empty()) {
      damaged.push_back(static_cast<std::int32_t>(i));
    }
  }
  if (damaged.empty()) return loss;
  // Without a block size, or with more disks than a stripe may have (a set
  // whose recovery disks could never be written), nothing can be rebuilt.
  if ((block_size_ == 0 && !AcquireRecord()) || !Coded()) {
    for (const std::int32_t i : damaged) loss.bytes += disks_[i].length;
    loss.disks = damaged;
    return loss;
  }
  const std::vector<Stripe> stripes = PlanStripes();
  CollectRecoveryBlocks(stripes);
  std::unique_ptr<File> written =
      target.Flush() ? ctx_.env.Open(target_path_, FileMode::kReadBinary) : nullptr;
  for (const Stripe& stripe : stripes) {
    if (loss.target_failed) break;
    const bool enough = store_ && std::popcount(store_->Have(stripe.block)) >= stripe.bad;
    if (!enough || !written || !RebuildStripe(target, *written, stripe, &loss)) {
      LoseStripe(stripe, &loss);
    }
  }
  if (written) written->Close();  // read only
  if (store_) store_->Remove();
  std::sort(loss.disks.begin(), loss.disks.end());
  loss.disks.erase(std::unique(loss.disks.begin(), loss.disks.end()), loss.disks.end());
  return loss;
}

bool RecoveryRebuild::FileMatches() {
  std::unique_ptr<File> file = ctx_.env.Open(target_path_, FileMode::kReadBinary);
  if (!file || record_->file_length != file_length_ ||
      record_->chunks.size() != disks_.size()) {
    return false;
  }
  StreamChecksum whole(StreamChecksum::k128);
  std::vector<char> buffer(1 << 20);
  bool matches = true;
  for (std::size_t i = 0; i < disks_.size() && matches; ++i) {
    const ChunkEntry& entry = record_->chunks[i];
    BlockSums chunk(block_size_, false);
    matches = entry.offset == disks_[i].offset && entry.length == disks_[i].length;
    for (std::uint64_t done = 0; matches && done < entry.length;) {
      const std::size_t wanted = Held(entry.length, done, buffer.size());
      bool failed = false;
      matches = file->Read(buffer.data(), wanted, &failed) == wanted && !failed;
      chunk.Add(buffer.data(), wanted);
      whole.Add(buffer.data(), wanted);
      done += wanted;
    }
    chunk.Finish();
    matches = matches && chunk.chunk() == entry.checksum;
  }
  char extra;
  bool failed = false;
  matches = matches && file->Read(&extra, 1, &failed) == 0 && !failed &&
            whole.Digest128() == record_->file_checksum;
  file->Close();  // read only
  return matches;
}

}  // namespace slicery
