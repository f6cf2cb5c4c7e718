// What the split checks of each volume it is given before writing on it, and
// how it tells of a volume that was not written. Data disks and recovery
// disks go through the same checks.
#pragma once

#include <optional>

#include "diskset/volume.h"
#include "diskset/volume_writer.h"
#include "operation/context.h"

namespace slicery {

// Checks the volume in the drive and makes room on it: the set it holds, if
// any, whether it takes a file, and its chunk budget. Nothing when the volume
// is refused; the user has been told why. A split that goes on from an
// earlier run gives `overwritable`, the place it is about to write: a volume
// of its own set there or later is the one that run was writing when it
// stopped, and is written over without a question.
std::optional<ChunkBudget> PrepareVolume(
    Context& ctx, const VolumeFields& set,
    std::optional<std::int32_t> overwritable = std::nullopt);

// Ends the progress line of a volume that was not written (one whose file was
// never created has none) and tells why. False when the split ends there: a
// source that cannot be read on, or that changed.
bool TellVolumeNotWritten(Context& ctx, VolumeWrite status);
// The dialog alone, for a volume not written. False when the split ends there.
bool ShowVolumeNotice(Context& ctx, VolumeWrite status);

}  // namespace slicery
