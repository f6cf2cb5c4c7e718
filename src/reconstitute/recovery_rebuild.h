// The rebuild of a set with recovery disks: each block of a data disk checked
// as it is read and written at its offset, disks the user does not have left
// out, and what is missing rebuilt stripe by stripe from the recovery disks.
// A plain set never comes here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diskset/disk_info.h"
#include "operation/context.h"
#include "operation/outcome.h"
#include "platform/file.h"
#include "recovery/recovery_files.h"
#include "ui/progress_meter.h"

namespace slicery {

class RecoveryRebuild {
 public:
  // `active`: the set is known to have recovery disks from the start.
  RecoveryRebuild(Context& ctx, OperationId set_id, bool active)
      : ctx_(ctx), set_id_(set_id), active_(active) {}

  // Whether the set is known to have recovery disks.
  bool active() const { return active_; }
  // A recovery disk's record, read at identification or later.
  void Learn(const RecoveryRecord& record);
  // Whether disk `index` is past the set's last data disk, as far as a
  // recovery record tells.
  bool PastLastDisk(std::int32_t index) const;

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
  // written at `target_path` against the set's checksums, and syncs and
  // closes it. Nothing when every block matches, and the file may take its
  // place; otherwise the user is told what is wrong, and the outcome.
  std::optional<OperationOutcome> Finish(File& target, const std::string& target_path);

 private:
  // One data disk as read: where its chunk lies and which blocks are bad,
  // with the checksum each should have where its checksum file told.
  struct DataDisk {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    bool all_bad = false;
    std::vector<std::pair<std::uint64_t, std::optional<std::uint64_t>>> bad;
  };

  // A stripe with bad data blocks: its place, and how many are bad.
  struct Stripe {
    std::uint64_t block = 0;
    int bad = 0;
  };

  bool AcquireRecord();
  bool CopyGoodBlocks(File& data, File& target, const std::vector<std::uint64_t>& sums,
                      ProgressMeter& meter, DataDisk* disk, std::uint64_t* good);
  std::vector<Stripe> PlanStripes() const;
  void CollectRecoveryBlocks(const std::vector<Stripe>& stripes, File& scratch,
                             std::vector<std::uint16_t>* have);
  bool TakeSettings(std::uint64_t block_size, std::uint64_t file_length, int recovery);
  bool IsBad(const DataDisk& disk, std::uint64_t block) const;
  std::optional<std::uint64_t> KnownSum(const DataDisk& disk, std::uint64_t block) const;
  void TellBadBlocks(std::int32_t index, const DataDisk& disk);
  std::vector<std::int32_t> Repair(File& target, const std::string& target_path,
                                   bool* target_failed);
  bool FileMatches(const std::string& target_path);
  bool ReadRecoveryDisk(int index, const std::vector<Stripe>& stripes, File& scratch,
                        std::vector<std::uint16_t>* have);
  bool RebuildStripe(File& target, File& written, File& scratch, std::size_t slot,
                     const Stripe& stripe, std::uint16_t have, bool* target_failed,
                     std::vector<std::int32_t>* lost);

  Context& ctx_;
  const OperationId set_id_;
  bool active_;
  std::optional<RecoveryRecord> record_;
  std::uint64_t block_size_ = 0;  // 0 until a checksum file or record tells
  std::uint64_t file_length_ = 0;
  int recovery_disks_ = 0;
  std::uint64_t next_offset_ = 0;  // where the next data disk's chunk starts
  std::vector<DataDisk> disks_;
};

}  // namespace slicery
