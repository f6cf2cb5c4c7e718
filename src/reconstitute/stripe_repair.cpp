// The rebuild's repair: the stripes with bad data blocks rebuilt from the
// recovery disks, and the rebuilt file checked against the set's checksums.
#include <algorithm>
#include <memory>

#include "reconstitute/recovery_rebuild.h"
#include "recovery/file_checksums.h"
#include "recovery/stripe_codec.h"

namespace slicery {

bool RecoveryRebuild::Coded() const {
  return disks_.size() + static_cast<std::size_t>(recovery_disks_) <= kMaxStripeBlocks;
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
  const std::vector<Stripe> stripes = Stripes().Plan();
  CollectRecoveryBlocks(stripes);
  std::unique_ptr<File> written =
      target.Flush() ? ctx_.env.Open(target_path_, FileMode::kReadBinary) : nullptr;
  loss = Stripes().Rebuild(stripes, store_ ? &*store_ : nullptr, target, written.get(),
                           ctx_.env.FilesAcrossThreads());
  if (written) written->Close();  // read only
  if (store_) store_->Remove();
  for (std::size_t i = 0; i < loss.rebuilt_whole.size(); ++i) {
    if (loss.rebuilt_whole[i]) disks_[i].written = loss.rebuilt_whole[i];
  }
  return loss;
}

// The file is the set's: each chunk where the set's record puts it, with the
// record's checksum. Where every chunk's checksum is known from its blocks as
// they were written, the file need not be read again; otherwise it is read
// whole, and its own checksum compared too.
bool RecoveryRebuild::FileMatches() {
  if (record_->file_length != file_length_ || record_->chunks.size() != disks_.size()) {
    return false;
  }
  std::vector<std::uint64_t> lengths;
  bool known = true;
  for (std::size_t i = 0; i < disks_.size(); ++i) {
    const ChunkEntry& entry = record_->chunks[i];
    if (entry.offset != disks_[i].offset || entry.length != disks_[i].length) {
      return false;
    }
    if (disks_[i].written && *disks_[i].written != entry.checksum) return false;
    known = known && disks_[i].written;
    lengths.push_back(entry.length);
  }
  if (known) return true;
  std::unique_ptr<File> file = ctx_.env.Open(target_path_, FileMode::kReadBinary);
  if (!file) return false;
  const std::optional<SetChecksums> sums = ChecksumChunks(*file, lengths, block_size_);
  file->Close();  // read only
  if (!sums || sums->file != record_->file_checksum) return false;
  for (std::size_t i = 0; i < disks_.size(); ++i) {
    if (sums->chunks[i] != record_->chunks[i].checksum) return false;
  }
  return true;
}

}  // namespace slicery
