#include "operation/volume_checks.h"

#include <algorithm>
#include <string>

#include "recovery/recovery_volume.h"
#include "ui/dialog.h"

namespace slicery {
namespace {

constexpr char kUnwritable[] =
    "Error: Slicery was unable to write to the specified medium.\nMake sure the disk "
    "is formatted and not write-protected.";

void WarnUnwritable(Context& ctx) {
  ShowDialog(ctx, kUnwritable, "Error", Buttons::kOk, Icon::kWarning);
}

// Whether the volume in the drive is the disk of `set` at `place`, whose new
// copy is to be written: by its record, or, where that is damaged, by its
// checksum file, which names the disk too.
bool IsDiskBeingReplaced(Env& env, const VolumeFields& set, const RecordedPath& recorded,
                         std::int32_t place) {
  if (recorded.place == place) return true;
  const VolumeText text = ReadVolumeText(env, kChecksumFileName);
  const std::optional<ChunkChecksums> sums =
      text.status == VolumeText::kRead ? ParseChunkChecksums(text.bytes) : std::nullopt;
  return sums && sums->set_id == set.operation_id && sums->disk_index == place;
}

// Whether the volume may take this set: a blank one may, and so may one of an
// older set that the user agrees to erase. A record names the set the volume
// belongs to: this one when it carries this set's path and id. One that cannot
// be read might be this set's own, so such a volume is refused rather than
// offered for erasing. A record of this path with another id, or with none (a
// split stopped while writing it), is an older set of the same file.
bool AcceptRecordedSet(Context& ctx, const VolumeFields& set,
                       std::optional<std::int32_t> overwritable,
                       std::optional<std::int32_t> replacing) {
  RecordedPath recorded = ReadRecordedPath(ctx.env);
  // A volume without a record may be a recovery disk, whose record names its set.
  if (recorded.status == RecordedPath::kNone) recorded = ReadRecoveryDiskSet(ctx.env);
  switch (recorded.status) {
    case RecordedPath::kNone:
      RemoveLeftoverChunk(ctx.env);
      return true;
    case RecordedPath::kUnreadable:
      WarnUnwritable(ctx);
      return false;
    case RecordedPath::kRead:
      break;
  }
  if (recorded.first_line == set.source_path &&
      recorded.operation_id == set.operation_id) {
    if ((recorded.place && overwritable && *recorded.place >= *overwritable) ||
        (replacing && IsDiskBeingReplaced(ctx.env, set, recorded, *replacing))) {
      ClearDiskSet(ctx.env);
      return true;
    }
    ShowDialog(ctx,
               "Error: this disk has already been used in this operation.\nSlicery "
               "cannot write any more data to this disk.",
               "Error", Buttons::kOk, Icon::kWarning);
    return false;
  }
  const DialogResult reuse = ShowDialog(
      ctx,
      "This disk has already been used in a previous operation.  Continuing will "
      "erase all former operation data.\nDo you still wish to use this disk?",
      "Slicery", Buttons::kYesNo, Icon::kQuestion);
  if (reuse != DialogResult::kYes) return false;
  ClearDiskSet(ctx.env);
  return true;
}

}  // namespace

std::optional<ChunkBudget> PrepareVolume(Context& ctx, const VolumeFields& set,
                                         std::optional<std::int32_t> overwritable,
                                         std::optional<std::int32_t> replacing) {
  // A volume folder with nothing mounted on it is an empty drive: nothing is
  // read, removed or written there.
  if (!ctx.env.VolumeHasMedium()) {
    WarnUnwritable(ctx);
    return std::nullopt;
  }
  if (!AcceptRecordedSet(ctx, set, overwritable, replacing)) return std::nullopt;
  // The volume must take a file.
  if (!ProbeVolume(ctx.env)) {
    WarnUnwritable(ctx);
    return std::nullopt;
  }
  // And it must have room for a chunk beside the reserve.
  const std::optional<ChunkBudget> budget = QueryChunkBudget(ctx.env);
  if (!budget) {
    ShowDialog(ctx, "Error: Disk must have at least 600 bytes free space.", "Error",
               Buttons::kOk, Icon::kWarning);
  }
  return budget;
}

std::optional<ChunkBudget> PrepareRecoveryDisk(Context& ctx, const VolumeFields& set,
                                               const RecoveryPlan& plan,
                                               std::optional<std::int32_t> overwritable,
                                               std::optional<std::int32_t> replacing) {
  const std::optional<ChunkBudget> budget =
      PrepareVolume(ctx, set, overwritable, replacing);
  if (!budget) return std::nullopt;
  const std::uint64_t needs = RecoveryDiskNeeds(plan, budget->room_unit);
  if (budget->bytes >= needs) return budget;
  const std::uint64_t reserve = std::max(kVolumeReserve, budget->unit);
  ShowDialog(ctx,
             "Error: this disk is too small for a recovery disk of this set.\nA recovery "
             "disk needs " +
                 std::to_string(needs + reserve) + " bytes free.",
             "Error", Buttons::kOk, Icon::kWarning);
  return std::nullopt;
}

namespace {

// What the split tells of a volume that was not written, and whether the
// split goes on: a refused volume is asked for again, a source that cannot be
// read on, or that changed, ends the split.
struct VolumeNotice {
  const char* text;
  Icon icon;
  bool split_goes_on;
};

VolumeNotice NoticeFor(VolumeWrite status) {
  switch (status) {
    case VolumeWrite::kReadBackFailed:
      return {
          "Error: the data on this disk did not read back as it was written.\nPlease "
          "use another disk.",
          Icon::kWarning, true};
    case VolumeWrite::kSourceChanged:
      return {"Error: the file changed while it was being split.\nOperation aborted.",
              Icon::kError, false};
    case VolumeWrite::kSourceFailed:
      return {"Error: Slicery was unable to read the file.\nOperation aborted.",
              Icon::kError, false};
    case VolumeWrite::kTooSmall:
      return {
          "Error: this disk is too small for a set with recovery disks.\nPlease use a "
          "larger disk.",
          Icon::kWarning, true};
    case VolumeWrite::kWritten:
    case VolumeWrite::kNotCreated:
    case VolumeWrite::kFailed:
      break;
  }
  return {kUnwritable, Icon::kWarning, true};
}

}  // namespace

bool TellVolumeNotWritten(Context& ctx, VolumeWrite status) {
  // A volume ends its progress line unfinished; one whose file could not be
  // created never started one.
  if (status != VolumeWrite::kNotCreated && status != VolumeWrite::kTooSmall)
    EndLine(ctx);
  return ShowVolumeNotice(ctx, status);
}

bool ShowVolumeNotice(Context& ctx, VolumeWrite status) {
  const VolumeNotice notice = NoticeFor(status);
  ShowDialog(ctx, notice.text, "Error", Buttons::kOk, notice.icon);
  return notice.split_goes_on;
}

}  // namespace slicery
