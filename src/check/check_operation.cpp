// Checks a set: learns it from any of its disks, reads every data disk and
// then every recovery disk once, gives the verdict, and offers new copies of
// the disks that are lost or failing.
#include "check/check_operation.h"

#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "check/checked_set.h"
#include "check/data_disks.h"
#include "check/disk_lines.h"
#include "check/kept_file.h"
#include "check/medium_env.h"
#include "check/new_copies.h"
#include "check/recovery_disks.h"
#include "check/verdict.h"
#include "diskset/volume.h"
#include "recovery/recovery_volume.h"
#include "recovery/stripe_repair.h"
#include "ui/console.h"
#include "ui/dialog.h"

namespace slicery {
namespace {

// The recorded path and the set id, from whichever disk of the set is
// inserted, a recovery disk too; what that disk tells of the set's layout is
// kept. False when the user cancels.
bool IdentifySet(Context& ctx, CheckedSet* set) {
  for (;;) {
    const DialogResult inserted = ShowDialog(ctx, "Please insert a disk into drive.",
                                             "Slicery", Buttons::kOkCancel, Icon::kNone);
    if (inserted != DialogResult::kOk) return false;
    if (const std::optional<DiskInfoRecord> identity = ReadSetIdentity(ctx.env, {})) {
      set->recorded_path = identity->source_path;
      set->set_id = identity->operation_id;
      const VolumeText text = ReadVolumeText(ctx.env, kChecksumFileName);
      set->has_recovery = text.status != VolumeText::kNone;
      const std::optional<ChunkChecksums> sums = text.status == VolumeText::kRead
                                                     ? ParseChunkChecksums(text.bytes)
                                                     : std::nullopt;
      if (sums && sums->set_id == set->set_id) {
        set->TakeSettings(sums->block_size, sums->file_length, sums->recovery_disks);
      }
      return true;
    }
    if (const std::optional<RecoveryRecord> record = ReadRecoveryRecord(ctx.env)) {
      set->recorded_path = record->source_path;
      set->set_id = record->set_id;
      set->Learn(*record);
      return true;
    }
  }
}

// Starts keeping the file, once, as soon as its length is known.
void StartKeeping(Context& ctx, const CheckedSet& set, bool* tried,
                  std::unique_ptr<KeptFile>* kept) {
  if (*tried || set.block_size == 0) return;
  *tried = true;
  *kept = KeptFile::Start(ctx, set.file_length);
}

// What was kept is let go once keeping failed: it cannot be trusted.
void DropIfFailed(std::unique_ptr<KeptFile>* kept) {
  if (*kept && !(*kept)->intact()) kept->reset();
}

// The data disks in order, until the one marked last, or the last that a
// recovery record names.
void ReadDataDisks(Context& ctx, CheckedSet& set, std::unique_ptr<KeptFile>* kept) {
  bool tried = false;
  StartKeeping(ctx, set, &tried, kept);
  DiskInfoRecord record;  // each read over the one before
  for (std::int32_t index = 0; !set.PastLastDisk(index); ++index) {
    const DiskOffer offer = RequestDataDisk(ctx, set, index, &record);
    if (offer == DiskOffer::kCancelled) {
      if (!AddMissingDataDisk(ctx, set, index) || set.data.back().mark == '*') return;
      continue;
    }
    const std::optional<ChunkChecksums> sums = ReadDiskChecksums(ctx, set, record, index);
    if (sums) StartKeeping(ctx, set, &tried, kept);
    ReadDataDisk(ctx, set, record, offer == DiskOffer::kByChecksums, sums, kept->get());
    DropIfFailed(kept);
    if (record.continuation_mark == '*') return;
  }
}

// The recovery disks in order. Their blocks of `stripes`, the stripes with
// bad data blocks, are kept, for the rebuilding of those.
void ReadRecoveryDisks(Context& ctx, CheckedSet& set,
                       const std::vector<DamagedStripe>& stripes,
                       std::unique_ptr<KeptFile>* kept) {
  if (*kept && !(*kept)->RoomForRecoveryBlocks(ctx, stripes.size(), set.recovery_disks,
                                               set.block_size)) {
    kept->reset();
  }
  for (int index = 0; index < set.recovery_disks; ++index) {
    const std::optional<RecoveryRecord> record = AwaitRecoveryDisk(ctx, set, index);
    if (!record) {
      AddMissingRecoveryDisk(ctx, set, index);
      continue;
    }
    ReadRecoveryDisk(ctx, set, *record, stripes, kept->get());
    DropIfFailed(kept);
  }
}

// Whether the kept file is the set's file, as its recovery record has it
// where one was read (otherwise every block of it matched its disk's checksums
// or was rebuilt to match them).
bool PlanFits(const RecoveryPlan& plan, const CheckedSet& set) {
  std::uint64_t length = 0;
  for (const ChunkEntry& chunk : plan.chunks) length += chunk.length;
  if (length != set.file_length) return false;
  return !set.record || (plan.chunks == set.record->chunks &&
                         plan.file_checksum == set.record->file_checksum);
}

// Rebuilds in the kept file what the set lost, and tells what the recovery
// disks are made from. Nothing when the kept file cannot give new copies;
// *lost then names the data disks the rebuild could not bring back, if any.
std::optional<RecoveryPlan> RepairKept(Context& ctx, const CheckedSet& set,
                                       const StripeRepair& repair,
                                       const std::vector<DamagedStripe>& stripes,
                                       KeptFile& kept,
                                       std::optional<std::vector<std::int32_t>>* lost) {
  const std::vector<std::int32_t> unrebuilt = kept.Repair(repair, stripes);
  std::optional<RecoveryPlan> plan;
  if (kept.intact() && unrebuilt.empty()) plan = kept.Plan(set);
  kept.TellIfFailed(ctx);
  if (!unrebuilt.empty()) *lost = unrebuilt;
  if (!plan || PlanFits(*plan, set)) return plan;
  // Rebuilt blocks that do not make the set's file: none of them counts.
  *lost = std::vector<std::int32_t>();
  for (std::size_t i = 0; i < set.data.size(); ++i) {
    if (set.data[i].Damaged()) (*lost)->push_back(static_cast<std::int32_t>(i));
  }
  return std::nullopt;
}

void ShowVerdict(Context& ctx, const Verdict& verdict) {
  const Icon icon = verdict.status == kSetWhole        ? Icon::kNone
                    : verdict.status == kSetRepairable ? Icon::kWarning
                                                       : Icon::kError;
  ShowDialog(ctx, verdict.text, "Slicery", Buttons::kOk, icon);
}

}  // namespace

int RunCheckOperation(Context& host) {
  // Every disk is read from its medium, as a split reads a disk back.
  MediumEnv medium(host.env);
  Context ctx{{host.screen, host.in, host.out, host.upper_case_typed_paths},
              medium,
              host.read_back_volumes,
              host.recovery_disks};
  CheckedSet set;
  if (!IdentifySet(ctx, &set)) return kCheckUnfinished;
  ClearConsole(ctx);
  ctx.out << "Slicery Operation: Check\nOriginal Filename: " << set.recorded_path;
  EndLine(ctx);
  std::unique_ptr<KeptFile> kept;
  ReadDataDisks(ctx, set, &kept);
  std::vector<DiskBlocks> blocks;
  for (const CheckedDisk& disk : set.data) blocks.push_back(disk.blocks);
  const StripeRepair repair(blocks, set.block_size, set.recovery_disks);
  const bool recovery = set.has_recovery && !set.end_unknown && set.block_size != 0;
  const std::vector<DamagedStripe> stripes =
      recovery ? repair.Plan() : std::vector<DamagedStripe>();
  if (recovery) ReadRecoveryDisks(ctx, set, stripes, &kept);
  std::optional<std::vector<std::int32_t>> lost;
  std::optional<RecoveryPlan> plan;
  if (kept && recovery && set.Damaged() && StripesRepairable(set)) {
    plan = RepairKept(ctx, set, repair, stripes, *kept, &lost);
  }
  Verdict verdict = JudgeSet(set, lost);
  ShowVerdict(ctx, verdict);
  if (verdict.status != kSetRepairable || !plan) return verdict.status;
  if (!WriteNewCopies(ctx, set, kept->file(), *plan)) return verdict.status;
  // The set as it now stands.
  verdict = JudgeSet(set);
  ShowVerdict(ctx, verdict);
  return verdict.status;
}

}  // namespace slicery
