// The journal as the split keeps it: looked for and offered before the first
// disk, brought up to date after each disk that passed its read-back, and
// removed once the split is complete. It stays when the split is aborted or
// ends on an error, so that a later split of the same file can go on.
#pragma once

#include <cstdint>
#include <optional>

#include "diskset/read_back.h"
#include "diskset/volume_writer.h"
#include "operation/context.h"
#include "recovery/checksum.h"
#include "recovery/checksum_companion.h"
#include "split/split_journal.h"

namespace slicery {

// A watcher of the read-back too: a plain set's chunk checksums come from
// the bytes it compares, without a pass of their own.
class JournalKeeper : public ChunkWatcher {
 public:
  explicit JournalKeeper(Context& ctx) : ctx_(ctx) {}

  // Sets the set up before its first disk: from the start, or where an
  // earlier split of the same file stopped, when the user agrees to go on and
  // the file still holds the bytes of the disks written then. Makes the
  // checksum companion of a set with recovery disks. False when the split
  // ends here: the file could not be read, and the user was told.
  bool Begin(VolumeFields& fields, SplitSource& source,
             std::optional<ChecksumCompanion>& checksums, bool* source_done);

  // When the split goes on from an earlier run: `place`, the place in the set
  // about to be written (data disks first, then recovery disks). A volume of
  // this set there or later is one that run was writing when it stopped.
  // Nothing otherwise.
  std::optional<std::int32_t> OverwritableFrom(std::int32_t place) const;

  // A data disk passed its read-back: its chunk is the `kept` bytes before
  // source.next_chunk. False when the source, read for the journal, could
  // not be placed at source.next_chunk again.
  bool DataDiskWritten(const SplitSource& source, std::uint64_t kept, bool last);
  // The set goes on without the recovery disks it was begun with, before its
  // first disk was written: a plain set, whose chunk checksums come from the
  // read-back's bytes.
  void RecoveryDropped(SplitSource& source);
  // The recovery disks written so far, where the recovery step begins.
  int recovery_done() const { return progress_.recovery_done; }
  void RecoveryDiskWritten();
  // The split is complete: its journal goes.
  void Finish();

  void Start() override;
  void Bytes(const char* bytes, std::size_t size) override;

 private:
  void Open(const VolumeFields& fields, const SplitSource& source);
  std::optional<SplitProgress> Earlier(const SplitSource& source);
  bool GoOn(const SplitProgress& earlier, VolumeFields& fields, SplitSource& source,
            std::optional<ChecksumCompanion>& checksums,
            const StreamChecksum& file_so_far, bool* source_done);
  void Save();
  void GiveUp();

  Context& ctx_;
  bool enabled_ = false;  // kept, and every update so far written
  bool going_on_ = false;
  std::optional<JournalFile> file_;
  SplitProgress progress_;
  const ChecksumCompanion* checksums_ = nullptr;
  std::optional<BlockSums> seen_;  // of the chunk last read back
  std::uint64_t seen_bytes_ = 0;
};

}  // namespace slicery
