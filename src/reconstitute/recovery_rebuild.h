// The rebuild of a set with recovery disks: each block of a data disk checked
// as it is read and written at its offset, disks the user does not have left
// out, and what is missing rebuilt stripe by stripe from the recovery disks.
// A plain set never comes here.
//
// recovery_rebuild.cpp reads the data disks (each asked for as
// operation/disk_request.h asks), recovery_disks.cpp reads the recovery disks,
// stripe_repair.cpp rebuilds the stripes and checks the file, and rebuild_notices.cpp
// holds what the user is told.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diskset/disk_info.h"
#include "operation/context.h"
#include "operation/outcome.h"
#include "platform/file.h"
#include "recovery/chunk_scan.h"
#include "recovery/recovery_block_store.h"
#include "recovery/recovery_files.h"
#include "recovery/recovery_volume.h"
#include "recovery/stripe_repair.h"

namespace slicery {

class RecoveryRebuild {
 public:
  // `active`: the set is known to have recovery disks from the start. The
  // rebuilt file is written at `target_path`.
  RecoveryRebuild(Context& ctx, OperationId set_id, bool active, std::string target_path)
      : ctx_(ctx),
        set_id_(set_id),
        active_(active),
        target_path_(std::move(target_path)) {}

  // Whether the set is known to have recovery disks.
  bool active() const { return active_; }
  // A recovery disk's record, read at identification or later.
  void Learn(const RecoveryRecord& record);
  // Whether disk `index` is past the set's last data disk, as far as a
  // recovery record tells.
  bool PastLastDisk(std::int32_t index) const;

  // A disk joined as a plain set's before the set was known to have recovery
  // disks: where its chunk lies.
  void Joined(const DiskInfoRecord& record);

  enum class DiskRead {
    kPlain,         // the disk is one of a plain set: joined as ever
    kRead,          // its good blocks are in the target, its bad ones noted
    kTargetFailed,  // the target did not take a block
  };
  // Reads the data disk in the drive, whose record is `record`, when it
  // carries a checksum file or the set is known to have recovery disks.
  DiskRead ReadDataDisk(File& target, const DiskInfoRecord& record, std::int32_t index);

  // The user has no disk `index`: true when they choose to go on without it
  // and the set's recovery data tells where its chunk lies.
  bool GoWithout(std::int32_t index);

  // After the last data disk: rebuilds what is missing, checks the file
  // against the set's checksums, and syncs and closes `target`. Nothing when
  // every block matches, and the file may take its place (the user has been
  // told what was rebuilt); otherwise the user is told what is wrong, and the
  // outcome.
  std::optional<OperationOutcome> Finish(File& target);

 private:
  // One data disk as read: where its chunk lies and which blocks are bad,
  // with the checksum each should have where its checksum file told.
  using DataDisk = DiskBlocks;
  // A stripe with bad data blocks, and what the repair could not rebuild.
  using Stripe = DamagedStripe;
  using Loss = StripeLoss;

  // How a volume offered as a recovery disk was taken.
  enum class Offered { kTaken, kReadBefore, kNotOfSet, kUnreadable };
  enum class DiskState { kUnread, kRead, kGivenUp };

  // recovery_rebuild.cpp
  bool TakeSettings(std::uint64_t block_size, std::uint64_t file_length, int recovery);
  std::optional<ChunkChecksums> UsableChecksums(const VolumeText& text,
                                                std::int32_t index);
  DataDisk Place(const DiskInfoRecord& record, std::int32_t index,
                 const std::optional<ChunkChecksums>& sums) const;
  bool KeepReading(std::int32_t index);
  void Judge(const ChunkScan& scan, const std::optional<ChunkChecksums>& sums,
             std::int32_t index, DataDisk* disk) const;
  static std::optional<std::uint64_t> WrittenChecksum(
      const ChunkScan& scan, const std::optional<ChunkChecksums>& sums,
      const DataDisk& disk);

  // recovery_disks.cpp
  bool AcquireRecord();
  Offered TakeRecoveryDisk(const std::vector<std::uint64_t>& wanted);
  void ReadRecoveryBlocks(const RecoveryRecord& record,
                          const std::vector<std::uint64_t>& wanted);
  std::vector<std::uint64_t> Wanted(const std::vector<Stripe>& stripes) const;
  int NextToAsk() const;
  void CollectRecoveryBlocks(const std::vector<Stripe>& stripes);

  // stripe_repair.cpp
  bool Coded() const;  // the set's disks fit in a stripe
  StripeRepair Stripes() const {
    return StripeRepair(disks_, block_size_, recovery_disks_);
  }
  Loss Repair(File& target);
  bool FileMatches();

  // rebuild_notices.cpp
  bool CanRebuild(const DataDisk& disk) const;
  void TellBadBlocks(std::int32_t index, const DataDisk& disk);
  void TellUnchecked(std::int32_t index);
  void TellRebuilt();
  std::string LossText(const Loss& loss) const;

  Context& ctx_;
  const OperationId set_id_;
  bool active_;
  const std::string target_path_;
  std::optional<RecoveryRecord> record_;
  std::uint64_t block_size_ = 0;  // 0 until a checksum file or record tells
  std::uint64_t file_length_ = 0;
  int recovery_disks_ = 0;
  std::uint64_t next_offset_ = 0;  // where the next data disk's chunk starts
  std::vector<DataDisk> disks_;
  std::vector<DiskState> recovery_read_;  // one per recovery disk, once known
  std::optional<RecoveryBlockStore> store_;
};

}  // namespace slicery
