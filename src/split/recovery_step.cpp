// Writes the recovery disks of a set after its last data disk.
#include "split/recovery_step.h"

#include <memory>
#include <ostream>
#include <string>

#include "operation/volume_checks.h"
#include "recovery/recovery_writer.h"
#include "recovery/stripe_codec.h"
#include "ui/console.h"
#include "ui/dialog.h"
#include "ui/progress_meter.h"

namespace slicery {
namespace {

std::string Count(std::uint64_t count, const char* what) {
  return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

// Waits for recovery disk `number` of `total`. False when the user gives the
// recovery disks up.
bool AwaitRecoveryDisk(Context& ctx, int number, int total) {
  for (;;) {
    const DialogResult inserted =
        ShowDialog(ctx,
                   "Please insert recovery disk #" + std::to_string(number) + " of " +
                       std::to_string(total) +
                       " into drive.  (No data on disk will be overwritten.)",
                   "Insert Disk", Buttons::kOkCancel, Icon::kNone);
    if (inserted == DialogResult::kOk) return true;
    const DialogResult abort =
        ShowDialog(ctx, "Abort operation?", "Slicery", Buttons::kYesNo, Icon::kQuestion);
    if (abort == DialogResult::kYes) return false;
  }
}

void TellFewerRecoveryDisks(Context& ctx, int written, int asked) {
  ShowDialog(ctx,
             "The data disks of this set are complete, but it has fewer recovery disks "
             "than asked for: " +
                 std::to_string(written) + " of " + std::to_string(asked) + ".",
             "Slicery", Buttons::kOk, Icon::kWarning);
}

// Data disks and recovery disks of one set are at most 255.
bool FitsTheCode(Context& ctx, std::size_t data_disks, int recovery_disks) {
  if (data_disks + recovery_disks <= kMaxStripeBlocks) return true;
  ShowDialog(ctx,
             "This set has " + Count(data_disks, "data disk") + ". With " +
                 Count(recovery_disks, "recovery disk") +
                 " it would have more than 255 disks, which recovery disks cannot "
                 "protect.\nThe data disks are complete; no recovery disk will be "
                 "written.",
             "Slicery", Buttons::kOk, Icon::kWarning);
  return false;
}

RecoveryPlan PlanOf(const VolumeFields& set, const ChecksumCompanion& checksums) {
  return {set.source_path,        set.operation_id,        checksums.recovery_disks(),
          checksums.block_size(), checksums.file_length(), checksums.file_checksum(),
          checksums.chunks()};
}

}  // namespace

std::optional<int> AddRecoveryDisks(Context& ctx, const VolumeFields& set,
                                    SplitSource& source,
                                    const ChecksumCompanion& checksums,
                                    JournalKeeper& journal) {
  const RecoveryPlan plan = PlanOf(set, checksums);
  // The chunks cover the file as it was opened, or it changed under the split.
  if (source.next_chunk != plan.file_length) {
    ShowVolumeNotice(ctx, VolumeWrite::kSourceChanged);
    return std::nullopt;
  }
  if (!FitsTheCode(ctx, plan.chunks.size(), plan.recovery_disks)) return 0;
  // The first disk's pass over the source computes the later disks' chunks
  // too, kept on this computer while the temporary folder has room for them.
  const int first = journal.recovery_done();
  const std::unique_ptr<KeptRows> kept =
      KeptRows::Make(ctx.env, first + 1, plan.recovery_disks, RecoveryChunkLength(plan),
                     plan.block_size);
  for (int index = first; index < plan.recovery_disks;) {
    if (!AwaitRecoveryDisk(ctx, index + 1, plan.recovery_disks)) {
      TellFewerRecoveryDisks(ctx, index, plan.recovery_disks);
      return index;
    }
    const std::int32_t place = static_cast<std::int32_t>(plan.chunks.size()) + index;
    if (!PrepareRecoveryDisk(ctx, set, plan, journal.OverwritableFrom(place))) continue;
    ProgressMeter meter(ctx.out);
    const VolumeWriteResult written =
        WriteRecoveryDisk(ctx.env, source.file, source.opened, plan, index,
                          ctx.read_back_volumes, kept.get(), meter);
    if (written.status == VolumeWrite::kWritten) {
      ctx.out << written.kept << " bytes written";
      EndLine(ctx);
      ++index;
      journal.RecoveryDiskWritten();
    } else if (!TellVolumeNotWritten(ctx, written.status)) {
      return std::nullopt;
    }
  }
  return plan.recovery_disks;
}

void TellTheSet(Context& ctx, int data_disks, int recovery_disks, int asked) {
  ctx.out << "This set: " << Count(data_disks, "data disk") << ", Disk #1";
  if (data_disks > 1) ctx.out << " to Disk #" << data_disks;
  if (recovery_disks == 0) {
    ctx.out << ", and no recovery disks.";
  } else {
    ctx.out << ", and " << Count(recovery_disks, "recovery disk") << ", #1";
    if (recovery_disks > 1) ctx.out << " to #" << recovery_disks;
    ctx.out << " of " << asked << ".";
  }
  EndLine(ctx);
}

}  // namespace slicery
