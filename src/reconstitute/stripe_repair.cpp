// Rebuilds the bad blocks of a set from its recovery disks, stripe by stripe,
// and checks the rebuilt file against the set's checksums.
#include <algorithm>
#include <bit>
#include <memory>
#include <set>

#include "diskset/volume.h"
#include "reconstitute/recovery_rebuild.h"
#include "recovery/checksum.h"
#include "recovery/recovery_volume.h"
#include "recovery/recovery_writer.h"
#include "recovery/stripe_codec.h"
#include "ui/console.h"
#include "ui/dialog.h"

namespace slicery {
namespace {

// How many names the scratch file of the repair tries beside the target.
constexpr int kScratchNames = 100;

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

}  // namespace

// Block `block` of each damaged stripe from recovery disk `index`, checked
// against its record, into the scratch file; `have` marks those that were good.
bool RecoveryRebuild::ReadRecoveryDisk(int index, const std::vector<Stripe>& stripes,
                                       File& scratch, std::vector<std::uint16_t>* have) {
  const std::optional<RecoveryRecord> record = ReadRecoveryRecord(ctx_.env);
  if (!record || record->set_id != set_id_ || record->recovery_index != index)
    return false;
  Learn(*record);
  std::unique_ptr<File> chunk =
      ctx_.env.Open(VolumeFilePath(ctx_.env, kRecoveryChunkName), FileMode::kReadBinary);
  std::uint64_t length = 0;
  for (const ChunkEntry& entry : record->chunks) length = std::max(length, entry.length);
  std::vector<unsigned char> block(block_size_);
  for (std::size_t slot = 0; chunk && slot < stripes.size(); ++slot) {
    const std::uint64_t j = stripes[slot].block;
    const std::size_t size = Held(length, j * block_size_, block_size_);
    if (j >= record->blocks.size() ||
        !ReadAt(*chunk, j * block_size_, size, block_size_, block.data()) ||
        BlockChecksum({reinterpret_cast<char*>(block.data()), size}) !=
            record->blocks[j]) {
      continue;  // a bad recovery block counts against its stripe
    }
    const std::uint64_t at = (slot * recovery_disks_ + index) * block_size_;
    if (scratch.Seek(at) &&
        scratch.Write(reinterpret_cast<const char*>(block.data()), block_size_)) {
      (*have)[slot] |= static_cast<std::uint16_t>(1u << index);
    }
  }
  if (chunk) chunk->Close();  // read only
  return true;
}

bool RecoveryRebuild::RebuildStripe(File& target, File& written, File& scratch,
                                    std::size_t slot, const Stripe& stripe,
                                    std::uint16_t have, bool* target_failed,
                                    std::vector<std::int32_t>* lost_disks) {
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
    lost[i] = start < disks_[i].length && IsBad(disks_[i], stripe.block);
  }
  for (int r = 0; r < recovery_disks_; ++r) lost[data + r] = !(have >> r & 1);
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
      const std::uint64_t from = (slot * recovery_disks_ + r) * block_size_ + at;
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
  // A rebuilt block whose checksum its disk told must have it.
  for (int i = 0; i < data; ++i) {
    const std::optional<std::uint64_t> known =
        lost[i] ? KnownSum(disks_[i], stripe.block) : std::nullopt;
    if (known && sums[i].Digest64() != *known) lost_disks->push_back(i);
  }
  return true;
}

std::vector<RecoveryRebuild::Stripe> RecoveryRebuild::PlanStripes() const {
  std::vector<Stripe> stripes;
  std::uint64_t longest = 0;
  for (const DataDisk& disk : disks_) longest = std::max(longest, disk.length);
  for (std::uint64_t j = 0; j < BlocksIn(longest, block_size_); ++j) {
    Stripe stripe{j, 0};
    for (const DataDisk& disk : disks_) {
      stripe.bad += j * block_size_ < disk.length && IsBad(disk, j);
    }
    if (stripe.bad > 0) stripes.push_back(stripe);
  }
  return stripes;
}

// Asks for the recovery disks in turn until every damaged stripe has as many
// good recovery blocks as it has bad data blocks, or every one was asked for.
void RecoveryRebuild::CollectRecoveryBlocks(const std::vector<Stripe>& stripes,
                                            File& scratch,
                                            std::vector<std::uint16_t>* have) {
  const auto satisfied = [&] {
    for (std::size_t s = 0; s < stripes.size(); ++s) {
      if (std::popcount((*have)[s]) < stripes[s].bad) return false;
    }
    return true;
  };
  for (int r = 0; r < recovery_disks_ && !satisfied();) {
    const DialogResult inserted =
        ShowDialog(ctx_,
                   "Please insert recovery disk #" + std::to_string(r + 1) + " of " +
                       std::to_string(recovery_disks_) + ".",
                   "Slicery", Buttons::kOkCancel, Icon::kNone);
    if (inserted != DialogResult::kOk) {
      ++r;  // the user does not have this one
    } else if (ReadRecoveryDisk(r, stripes, scratch, have)) {
      ++r;
    } else {
      ShowDialog(ctx_,
                 "Error: this disk is not recovery disk #" + std::to_string(r + 1) +
                     " of this set, or its record cannot be read.",
                 "Error", Buttons::kOk, Icon::kError);
    }
  }
}

std::vector<std::int32_t> RecoveryRebuild::Repair(File& target,
                                                  const std::string& target_path,
                                                  bool* target_failed) {
  std::vector<std::int32_t> lost;
  bool damaged = false;
  for (const DataDisk& disk : disks_)
    damaged = damaged || disk.all_bad || !disk.bad.empty();
  if (!damaged) return lost;
  if (block_size_ == 0 && !AcquireRecord()) {
    for (std::size_t i = 0; i < disks_.size(); ++i)
      lost.push_back(static_cast<std::int32_t>(i));
    return lost;
  }
  const std::vector<Stripe> stripes = PlanStripes();
  // The recovery blocks of the damaged stripes wait in a scratch file beside
  // the target, so that one recovery disk at a time is in the drive. It is
  // made only where nothing is yet: nothing of the user's is written over.
  std::string scratch_path = target_path + ".recovery";
  std::unique_ptr<File> scratch = ctx_.env.CreateNew(scratch_path, target_path);
  for (int n = 1; !scratch && n < kScratchNames; ++n) {
    scratch_path = target_path + ".recovery" + std::to_string(n);
    scratch = ctx_.env.CreateNew(scratch_path, target_path);
  }
  std::vector<std::uint16_t> have(stripes.size());
  if (scratch) {
    CollectRecoveryBlocks(stripes, *scratch, &have);
    // A failed write left its block unmarked; a failed close, any of them.
    if (!scratch->Close()) have.assign(have.size(), 0);
  }
  std::unique_ptr<File> reread = ctx_.env.Open(scratch_path, FileMode::kReadBinary);
  std::unique_ptr<File> written =
      target.Flush() ? ctx_.env.Open(target_path, FileMode::kReadBinary) : nullptr;
  for (std::size_t s = 0; s < stripes.size() && !*target_failed; ++s) {
    const bool enough = std::popcount(have[s]) >= stripes[s].bad;
    if (enough && reread && written &&
        RebuildStripe(target, *written, *reread, s, stripes[s], have[s], target_failed,
                      &lost)) {
      continue;
    }
    for (std::size_t i = 0; i < disks_.size(); ++i) {
      if (stripes[s].block * block_size_ < disks_[i].length &&
          IsBad(disks_[i], stripes[s].block)) {
        lost.push_back(static_cast<std::int32_t>(i));
      }
    }
  }
  if (reread) reread->Close();
  if (written) written->Close();
  ctx_.env.Remove(scratch_path);
  std::sort(lost.begin(), lost.end());
  lost.erase(std::unique(lost.begin(), lost.end()), lost.end());
  return lost;
}

bool RecoveryRebuild::FileMatches(const std::string& target_path) {
  std::unique_ptr<File> file = ctx_.env.Open(target_path, FileMode::kReadBinary);
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
