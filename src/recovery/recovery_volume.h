// Reads the files a set with recovery disks adds to a volume.
#pragma once

#include <optional>
#include <string>

#include "diskset/volume.h"
#include "platform/env.h"
#include "recovery/recovery_files.h"

namespace slicery {

// A file of the volume in the drive, read whole.
struct VolumeText {
  enum Status {
    kNone,        // no such file
    kUnreadable,  // there, but it cannot be read, or is larger than any such file
    kRead,
  } status = kNone;
  std::string bytes;
};
VolumeText ReadVolumeText(Env& env, const char* name);

// The recovery record of the volume in the drive; empty when there is none
// or it fails its checksum.
std::optional<RecoveryRecord> ReadRecoveryRecord(Env& env);

// What a recovery disk's record says of the set it belongs to, in the form of
// a data disk's: kNone when the volume holds no recovery record; kRead with
// the path and id, or with neither when the record is damaged.
RecordedPath ReadRecoveryDiskSet(Env& env);

}  // namespace slicery
