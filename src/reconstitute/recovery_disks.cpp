// Reads the recovery disks of a set for the blocks its damaged stripes need,
// taking them in whatever order they come.
#include <algorithm>
#include <bit>
#include <memory>
#include <ostream>

#include "diskset/volume.h"
#include "reconstitute/rebuild_notices.h"
#include "reconstitute/recovery_rebuild.h"
#include "recovery/block_reader.h"
#include "recovery/checksum.h"
#include "ui/console.h"
#include "ui/dialog.h"
#include "ui/progress_meter.h"

namespace slicery {

// Asks for any recovery disk of the set until one gives its record. False
// when the user cancels.
bool RecoveryRebuild::AcquireRecord() {
  for (;;) {
    const DialogResult inserted =
        ShowDialog(ctx_, "Please insert any recovery disk of this set.", "Slicery",
                   Buttons::kOkCancel, Icon::kNone);
    if (inserted != DialogResult::kOk) return false;
    const std::optional<RecoveryRecord> record = ReadRecoveryRecord(ctx_.env);
    if (record && record->set_id == set_id_) {
      Learn(*record);
      if (record_) return true;
    }
    ShowDialog(ctx_, "Error: this disk is not a readable recovery disk of this set.",
               "Error", Buttons::kOk, Icon::kError);
  }
}

// The recovery disk in the drive, if it is one of this set not read yet: its
// `wanted` blocks are read and kept.
RecoveryRebuild::Offered RecoveryRebuild::TakeRecoveryDisk(
    const std::vector<std::uint64_t>& wanted) {
  const VolumeText text = ReadVolumeText(ctx_.env, kRecoveryRecordName);
  if (text.status == VolumeText::kNone) return Offered::kNotOfSet;
  const std::optional<RecoveryRecord> record =
      text.status == VolumeText::kRead ? ParseRecoveryRecord(text.bytes) : std::nullopt;
  if (!record) return Offered::kUnreadable;
  if (record->set_id != set_id_) return Offered::kNotOfSet;
  Learn(*record);
  if (!record_ ||
      !TakeSettings(record->block_size, record->file_length, record->recovery_disks) ||
      record->chunks != record_->chunks) {
    return Offered::kNotOfSet;
  }
  DiskState& state = recovery_read_[record->recovery_index];
  if (state == DiskState::kRead) return Offered::kReadBefore;
  ReadRecoveryBlocks(*record, wanted);
  state = DiskState::kRead;
  return Offered::kTaken;
}

// The `wanted` blocks of the recovery chunk in the drive, each checked against
// its record, into the store; a bad one counts against its stripe, and the
// user is told of it.
void RecoveryRebuild::ReadRecoveryBlocks(const RecoveryRecord& record,
                                         const std::vector<std::uint64_t>& wanted) {
  if (!store_) store_.emplace(ctx_.env, target_path_, block_size_);
  std::unique_ptr<File> chunk =
      ctx_.env.Open(VolumeFilePath(ctx_.env, kRecoveryChunkName), FileMode::kReadBinary);
  std::uint64_t length = 0;
  for (const ChunkEntry& entry : record.chunks) length = std::max(length, entry.length);
  const int r = record.recovery_index;
  ProgressMeter meter(ctx_.out);
  const std::string label = "Reading " + RecoveryDiskName(r) + " [";
  meter.Start(label.c_str());
  std::uint64_t bad = 0, read = 0, dots = 0;
  std::optional<BlockReader> reader;
  if (chunk)
    reader.emplace(*chunk, length, block_size_, wanted, ctx_.env.FilesAcrossThreads());
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    const std::uint64_t j = wanted[i];
    const BlockReader::Block block = reader ? reader->Next() : BlockReader::Block{};
    if (block.bytes && j < record.blocks.size() && block.sum == record.blocks[j]) {
      store_->Put(j, r, *block.bytes);
      read += block.bytes->size();
    } else {
      ++bad;
    }
    DrawDotsDue(meter, i + 1, wanted.size(), &dots);
  }
  reader.reset();
  if (chunk) chunk->Close();  // read only
  meter.Finish();
  ctx_.out << read << " bytes read.";
  EndLine(ctx_);
  if (bad == 0) return;
  std::string name = RecoveryDiskName(r);
  name[0] = 'R';
  ShowDialog(
      ctx_,
      name + " has " + BadBlocks(bad) + " of " + std::to_string(wanted.size()) + " read.",
      "Slicery", Buttons::kOk, Icon::kWarning);
}

// The blocks of the damaged stripes that can still be rebuilt (no more bad
// blocks than recovery disks) and have fewer good recovery blocks than bad ones.
std::vector<std::uint64_t> RecoveryRebuild::Wanted(
    const std::vector<Stripe>& stripes) const {
  std::vector<std::uint64_t> wanted;
  for (const Stripe& stripe : stripes) {
    const int have = store_ ? std::popcount(store_->Have(stripe.block)) : 0;
    if (stripe.bad <= recovery_disks_ && have < stripe.bad)
      wanted.push_back(stripe.block);
  }
  return wanted;
}

// The first recovery disk neither read nor given up; -1 when there is none.
int RecoveryRebuild::NextToAsk() const {
  const auto next =
      std::find(recovery_read_.begin(), recovery_read_.end(), DiskState::kUnread);
  return next == recovery_read_.end() ? -1
                                      : static_cast<int>(next - recovery_read_.begin());
}

// Asks for the recovery disks until every stripe that can be rebuilt has as
// many good recovery blocks as it has bad data blocks, or none is left to ask
// for. Whichever recovery disk of the set comes is taken; one still in the
// drive is read without asking, and one cancelled or found unreadable is not
// asked for again.
void RecoveryRebuild::CollectRecoveryBlocks(const std::vector<Stripe>& stripes) {
  std::vector<std::uint64_t> wanted = Wanted(stripes);
  if (!wanted.empty()) TakeRecoveryDisk(wanted);
  for (int r; !(wanted = Wanted(stripes)).empty() && (r = NextToAsk()) >= 0;) {
    const DialogResult inserted =
        ShowDialog(ctx_,
                   "Please insert recovery disk #" + std::to_string(r + 1) + " of " +
                       std::to_string(recovery_disks_) + ".",
                   "Slicery", Buttons::kOkCancel, Icon::kNone);
    const char* problem = nullptr;
    if (inserted != DialogResult::kOk) {
      recovery_read_[r] = DiskState::kGivenUp;  // the user does not have it
      continue;
    }
    switch (TakeRecoveryDisk(wanted)) {
      case Offered::kTaken:
        break;
      case Offered::kReadBefore:
        problem = "Error: this recovery disk has been read already.";
        break;
      case Offered::kNotOfSet:
        problem = "Error: this disk is not a recovery disk of this set.";
        break;
      case Offered::kUnreadable:
        problem =
            "Error: the record of this recovery disk cannot be read, so it cannot "
            "be used.";
        recovery_read_[r] = DiskState::kGivenUp;
        break;
    }
    if (problem) ShowDialog(ctx_, problem, "Error", Buttons::kOk, Icon::kError);
  }
}

}  // namespace slicery
