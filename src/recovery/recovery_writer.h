// Writes one recovery disk of a set: its recovery chunk, computed stripe by
// stripe from the source read again, and its record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diskset/volume.h"
#include "diskset/volume_writer.h"
#include "platform/env.h"
#include "platform/file.h"
#include "recovery/kept_rows.h"
#include "recovery/recovery_files.h"
#include "ui/progress_meter.h"

namespace slicery {

// What every recovery disk of a set is made from: the set's data disks as
// they were written.
struct RecoveryPlan {
  std::string source_path;
  OperationId set_id = 0;
  int recovery_disks = 0;
  std::uint64_t block_size = 0;
  std::uint64_t file_length = 0;
  FileChecksum file_checksum;
  std::vector<ChunkEntry> chunks;
};

// The bytes of each block read or computed at once when a stripe of `blocks`
// blocks is coded: a power of two from 4 KiB to 1 MiB, so that all of them
// together stay within a few MiB whatever the set.
std::size_t StripeSegmentSize(std::size_t blocks);

// A recovery chunk is as long as the longest data chunk.
std::uint64_t RecoveryChunkLength(const RecoveryPlan& plan);

// The chunk budget a recovery disk needs on a medium whose allocation unit is
// `unit`: the chunk, and its record in units of its own. The data disks'
// budgets kept that room, so a disk like them has it.
std::uint64_t RecoveryDiskNeeds(const RecoveryPlan& plan, std::uint64_t unit);

// Writes recovery disk `index` (0 to recovery_disks - 1) of `plan` onto the
// volume in the drive, reading the chunks again from `source`, or copying
// the recovery chunk from `kept` where an earlier disk's pass kept it there
// (and, in this disk's pass, keeping there the later disks' chunks that
// `kept` has room for and does not hold yet): the recovery
// chunk between "Writing to disk [" and "] ", then its record, both made to
// reach the medium. With `read_back`, they are read back from the medium and
// checked against the record: "Checking [", dots, "] ". A source that is no
// longer the file `opened`, or whose chunks no longer have their checksums,
// gives kSourceChanged. Whatever did not succeed leaves the volume cleared.
VolumeWriteResult WriteRecoveryDisk(Env& env, File& source,
                                    const std::optional<FileIdentity>& opened,
                                    const RecoveryPlan& plan, int index, bool read_back,
                                    KeptRows* kept, ProgressMeter& meter);

}  // namespace slicery
