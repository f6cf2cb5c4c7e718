// Writes one chunk of a split, with its record, onto the volume in the drive.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "diskset/disk_info.h"
#include "diskset/read_back.h"
#include "diskset/volume.h"
#include "platform/env.h"
#include "platform/file.h"
#include "ui/progress_meter.h"

namespace slicery {

// The file being split, and how far the volumes written so far have taken it.
struct SplitSource {
  File& file;
  std::uint64_t next_chunk = 0;  // offset of the next chunk's first byte
  // The file as it was when opened; a file whose size or modification time
  // differs from this has changed under the split. Empty when the host
  // cannot tell.
  std::optional<FileIdentity> opened;
  // Sees each chunk's bytes as its read-back reads them from the source, or,
  // where the volume is not read back, as they are written.
  ChunkWatcher* watcher = nullptr;
};

// What the record of the volume being written carries besides the chunk.
struct VolumeFields {
  std::string source_path;
  std::int32_t disk_index = 0;
  OperationId operation_id = 0;
};

enum class VolumeWrite {
  kWritten,         // the chunk and its record are on the medium
  kNotCreated,      // the data file could not be created: nothing was written
  kFailed,          // the volume did not take its chunk or record; it was cleared
  kSourceFailed,    // the source could not be read on; the volume was cleared
  kReadBackFailed,  // the medium did not give back what was written; cleared
  kSourceChanged,   // the source changed during the split; the volume was cleared
  kTooSmall,        // no room for a chunk beside the companion's: nothing was written
};

// A file that a set adds to each of its volumes beside the chunk, such as the
// checksums of the chunk's blocks, and the room it takes. As a watcher it sees
// the chunk's bytes in the pass that holds them: the read-back, or the write
// where the volume is not read back.
class VolumeCompanion : public ChunkWatcher {
 public:
  virtual ~VolumeCompanion() = default;
  // Bytes of `budget` kept free beside the chunk of volume `disk_index`, whose
  // chunk would start at `next_chunk`. Nothing when the volume is too small
  // for the set: no chunk fits beside them while the file still has bytes to
  // go, or the set would take more volumes than it may.
  virtual std::optional<std::uint64_t> Reserve(const ChunkBudget& budget,
                                               std::int32_t disk_index,
                                               std::uint64_t next_chunk) = 0;
  // Writes the file for the chunk of `length` bytes at `offset` of `source`,
  // and makes it reach the medium: from the bytes last watched where they were
  // the whole chunk, else read again from the source (which is placed anew
  // afterwards). kSourceFailed when the source cannot be read again.
  virtual WriteResult Write(Env& env, File& source, std::int32_t disk_index,
                            std::uint64_t offset, std::uint64_t length) = 0;
  // Whether the file last written reads back from the medium as written.
  virtual bool ReadsBack(Env& env) = 0;
  // The volume last written counts as written: its chunk is part of the set.
  virtual void Keep() = 0;
};

struct VolumeWriteResult {
  VolumeWrite status = VolumeWrite::kFailed;
  std::uint64_t kept = 0;  // bytes of the chunk on the medium
  bool last = false;       // the chunk holds the end of the source: marked '*'
};

// Writes the chunk that starts at `source.next_chunk`, at most `budget.bytes`
// long: creates the data file, copies with the volume's progress dots between
// the label "Writing to disk [" and "] ", makes the chunk durable, writes its
// record beside it and syncs the volume's directory. A medium that fills up
// before its free figure said keeps a shorter chunk, cut back on a unit
// boundary, with a record of that length.
//
// With `read_back`, the volume counts as written only once its data file and
// record, opened again by their paths, are the files written and read back
// from the medium equal to the source's range and to the record: the
// progress line goes on with "Checking [", a dot per 25th of the chunk and
// "] ".
//
// A `companion`, when given, keeps its room free of the budget, and its file
// is written after the chunk and before the record. A disk pulled at any
// moment holds no companion's file without the chunk it describes: with
// `read_back`, the chunk, once synced, is read back first (the companion
// watching), then the companion's file and the record are written and synced,
// and read back last; without it, the companion watches the write.
//
// Once it is written, `source.next_chunk` moves past what was kept. Whatever
// the result, the source is left at `source.next_chunk` for the next volume,
// unless it could not be read on (kSourceFailed).
VolumeWriteResult WriteVolume(Env& env, SplitSource& source, const ChunkBudget& budget,
                              const VolumeFields& fields, bool read_back,
                              ProgressMeter& meter, VolumeCompanion* companion = nullptr);

// Writes a new copy of a volume of a set already written, as WriteVolume
// writes a volume: its chunk of exactly `budget.bytes` (less the companion's
// room) from `source.next_chunk`, and its record with the mark `mark` it had.
// A medium that does not take the whole chunk is not written: a copy is
// never cut back.
VolumeWriteResult WriteVolumeCopy(Env& env, SplitSource& source,
                                  const ChunkBudget& budget, const VolumeFields& fields,
                                  char mark, bool read_back, ProgressMeter& meter,
                                  VolumeCompanion* companion);

}  // namespace slicery
