// What is checked of each volume before a disk of a set is written on it, and
// how a volume that was not written is told of: the split's data disks and
// recovery disks, and the check's new copies of disks, go through the same
// checks.
#pragma once

#include <cstdint>
#include <optional>

#include "diskset/volume.h"
#include "diskset/volume_writer.h"
#include "operation/context.h"
#include "recovery/recovery_writer.h"

namespace slicery {

// Checks the volume in the drive and makes room on it: the set it holds, if
// any, whether it takes a file, and its chunk budget. Nothing when the volume
// is refused; the user has been told why. A split that goes on from an
// earlier run gives `overwritable`, the place it is about to write: a volume
// of its own set there or later is the one that run was writing when it
// stopped, and is written over without a question. The check gives
// `replacing`, the place of the disk whose new copy it is about to write:
// that disk of the set, and no other, is cleared and taken.
std::optional<ChunkBudget> PrepareVolume(
    Context& ctx, const VolumeFields& set,
    std::optional<std::int32_t> overwritable = std::nullopt,
    std::optional<std::int32_t> replacing = std::nullopt);

// The same for a recovery disk of `plan`, which must also have room for the
// recovery chunk and its record; the user is told the bytes it needs.
std::optional<ChunkBudget> PrepareRecoveryDisk(
    Context& ctx, const VolumeFields& set, const RecoveryPlan& plan,
    std::optional<std::int32_t> overwritable = std::nullopt,
    std::optional<std::int32_t> replacing = std::nullopt);

// Ends the progress line of a volume that was not written (one whose file was
// never created has none) and tells why. False when the split ends there: a
// source that cannot be read on, or that changed.
bool TellVolumeNotWritten(Context& ctx, VolumeWrite status);
// The dialog alone, for a volume not written. False when the split ends there.
bool ShowVolumeNotice(Context& ctx, VolumeWrite status);

}  // namespace slicery
