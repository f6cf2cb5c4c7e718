#include "check/new_copies.h"

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "check/disk_lines.h"
#include "diskset/volume.h"
#include "diskset/volume_writer.h"
#include "operation/volume_checks.h"
#include "recovery/checksum_companion.h"
#include "ui/console.h"
#include "ui/dialog.h"
#include "ui/progress_meter.h"

namespace slicery {
namespace {

std::uint64_t RoundUp(std::uint64_t bytes, std::uint64_t unit) {
  return (bytes + unit - 1) / unit * unit;
}

// The checksum file of a new copy of a data disk: as the split wrote it, in
// the room of its own alone (the split's disks also kept room for what a
// recovery disk holds).
class CopyChecksums : public ChecksumCompanion {
 public:
  CopyChecksums(const CheckedSet& set, std::uint64_t reserve)
      : ChecksumCompanion(set.set_id, set.recorded_path, set.file_length,
                          set.recovery_disks, set.block_size),
        reserve_(reserve) {}

  std::optional<std::uint64_t> Reserve(const ChunkBudget&, std::int32_t,
                                       std::uint64_t) override {
    return reserve_;
  }

 private:
  std::uint64_t reserve_;
};

bool AskForNewCopies(Context& ctx, const CheckedSet& set) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < set.data.size(); ++i) {
    if (set.data[i].Damaged()) names.push_back(DiskName(false, i));
  }
  for (std::size_t r = 0; r < set.recovery.size(); ++r) {
    if (set.recovery[r].Damaged()) names.push_back(DiskName(true, r));
  }
  std::string listed;
  for (std::size_t i = 0; i < names.size(); ++i) {
    listed += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  }
  return ShowDialog(ctx,
                    "Do you want to write new copies of " + listed +
                        " now?\nEach needs a blank disk (the damaged disk itself will "
                        "do).",
                    "Slicery", Buttons::kYesNo, Icon::kQuestion) == DialogResult::kYes;
}

// Waits for a disk to take the new copy of `name`. False when the user has none.
bool AwaitBlankDisk(Context& ctx, const std::string& name) {
  return ShowDialog(ctx, "Please insert a blank disk for " + name + ".", "Insert Disk",
                    Buttons::kOkCancel, Icon::kNone) == DialogResult::kOk;
}

void TellTooSmall(Context& ctx, const std::string& name, std::uint64_t needs) {
  ShowDialog(ctx,
             "Error: this disk is too small for a copy of " + name + ".\nIt needs " +
                 std::to_string(needs) + " bytes free.",
             "Error", Buttons::kOk, Icon::kWarning);
}

// Shows how the copy went. True when it is written; false when it is not,
// and *go_on whether another disk may be tried.
bool Written(Context& ctx, const VolumeWriteResult& result, bool* go_on) {
  if (result.status == VolumeWrite::kWritten) {
    ctx.out << result.kept << " bytes written";
    EndLine(ctx);
    return true;
  }
  *go_on = TellVolumeNotWritten(ctx, result.status);
  return false;
}

// Writes the new copy of data disk `index`. False when it is not written.
bool WriteDataCopy(Context& ctx, const CheckedSet& set, std::size_t index, File& kept) {
  const CheckedDisk& disk = set.data[index];
  const std::string name = DiskName(false, index);
  const VolumeFields fields{set.recorded_path, static_cast<std::int32_t>(index),
                            set.set_id};
  for (bool go_on = true; go_on && AwaitBlankDisk(ctx, name);) {
    const std::optional<ChunkBudget> budget =
        PrepareVolume(ctx, fields, std::nullopt, static_cast<std::int32_t>(index));
    if (!budget) continue;
    const std::uint64_t reserve =
        RoundUp(ChecksumFileBound(BlocksIn(disk.blocks.length, set.block_size)),
                budget->room_unit);
    const std::uint64_t needs = disk.blocks.length + reserve;
    if (budget->bytes < needs) {
      TellTooSmall(ctx, name, needs + std::max(kVolumeReserve, budget->unit));
      continue;
    }
    ctx.out << "New copy of " << name;
    EndLine(ctx);
    SplitSource source{kept, disk.blocks.offset, std::nullopt};
    CopyChecksums checksums(set, reserve);
    ProgressMeter meter(ctx.out);
    const VolumeWriteResult result =
        kept.Seek(disk.blocks.offset)
            ? WriteVolumeCopy(ctx.env, source,
                              ChunkBudget{needs, budget->unit, budget->room_unit}, fields,
                              disk.mark, ctx.read_back_volumes, meter, &checksums)
            : VolumeWriteResult{VolumeWrite::kSourceFailed};
    if (Written(ctx, result, &go_on)) return true;
  }
  return false;
}

// Writes the new copy of recovery disk `index`. False when it is not written.
bool WriteRecoveryCopy(Context& ctx, const CheckedSet& set, int index, File& kept,
                       const RecoveryPlan& plan) {
  const std::string name = DiskName(true, index);
  const VolumeFields fields{set.recorded_path, 0, set.set_id};
  for (bool go_on = true; go_on && AwaitBlankDisk(ctx, name);) {
    // A recovery disk's place in the set follows the data disks'.
    const auto place = static_cast<std::int32_t>(set.data.size()) + index;
    if (!PrepareRecoveryDisk(ctx, fields, plan, std::nullopt, place)) continue;
    ctx.out << "New copy of " << name;
    EndLine(ctx);
    ProgressMeter meter(ctx.out);
    const VolumeWriteResult result = WriteRecoveryDisk(
        ctx.env, kept, std::nullopt, plan, index, ctx.read_back_volumes, nullptr, meter);
    if (Written(ctx, result, &go_on)) return true;
  }
  return false;
}

// A disk whose new copy is written is good from then on.
void MarkWritten(CheckedDisk* disk) {
  disk->state = CheckedDisk::State::kGood;
  disk->blocks.all_bad = false;
  disk->blocks.bad.clear();
  disk->longer = false;
  disk->record_damaged = false;
}

}  // namespace

bool WriteNewCopies(Context& ctx, CheckedSet& set, File& kept, const RecoveryPlan& plan) {
  if (!AskForNewCopies(ctx, set)) return false;
  for (std::size_t i = 0; i < set.data.size(); ++i) {
    if (set.data[i].Damaged() && WriteDataCopy(ctx, set, i, kept))
      MarkWritten(&set.data[i]);
  }
  for (std::size_t r = 0; r < set.recovery.size(); ++r) {
    if (set.recovery[r].Damaged() &&
        WriteRecoveryCopy(ctx, set, static_cast<int>(r), kept, plan)) {
      MarkWritten(&set.recovery[r]);
    }
  }
  return true;
}

}  // namespace slicery
