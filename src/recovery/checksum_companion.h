// The checksum file of each data disk of a set with recovery disks, written
// beside each chunk as the split goes, and what the set's recovery disks need
// to know of the data disks once they are all written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diskset/volume_writer.h"
#include "recovery/checksum.h"
#include "recovery/recovery_files.h"

namespace slicery {

class ChecksumCompanion : public VolumeCompanion {
 public:
  // A set of a file of `file_length` bytes, recorded as `source_path`, with
  // `recovery_disks` recovery disks. Its block size is chosen at the first
  // volume, unless the set has one already (`block_size`, not 0): then every
  // checksum file is of blocks of that size.
  ChecksumCompanion(OperationId set_id, const std::string& source_path,
                    std::uint64_t file_length, int recovery_disks,
                    std::uint64_t block_size = 0);

  // Nothing for a volume too small for a chunk beside the room kept, and for
  // one that would make the set more data disks than most_data_disks(), were
  // every disk from there on like it: either way a larger disk is needed.
  std::optional<std::uint64_t> Reserve(const ChunkBudget& budget, std::int32_t disk_index,
                                       std::uint64_t next_chunk) override;
  // Whether the file, on disks like the first, measured with `first`, takes
  // more data disks than the set may have beside its recovery disks, though
  // the disk would take a chunk.
  bool TooManyDisks(const ChunkBudget& first) const;
  // The data disks a set may have beside its recovery disks: 255 in all.
  std::uint64_t most_data_disks() const;

  WriteResult Write(Env& env, File& source, std::int32_t disk_index, std::uint64_t offset,
                    std::uint64_t length) override;
  bool ReadsBack(Env& env) override;
  void Keep() override;
  void Start() override;
  void Bytes(const char* bytes, std::size_t size) override;

  // Takes the set up where an earlier run of its split stopped: the data
  // disks of `chunks` are written, with blocks of `block_size`, and
  // `file_so_far` is the file's checksum over their bytes.
  void GoOnFrom(std::uint64_t block_size, const std::vector<ChunkEntry>& chunks,
                const StreamChecksum& file_so_far);

  // The data disks kept so far, in order, and the checksum of the bytes they hold.
  const std::vector<ChunkEntry>& chunks() const { return chunks_; }
  FileChecksum file_checksum() const { return kept_file_.Digest128(); }
  std::uint64_t block_size() const { return block_size_; }
  std::uint64_t file_length() const { return file_length_; }
  int recovery_disks() const { return recovery_disks_; }

 private:
  // The room kept beside a chunk, or nothing: the disk is too small for a
  // chunk beside it, or would make the set too many disks.
  struct SetShape {
    std::optional<std::uint64_t> reserve;
    bool too_many_disks = false;
  };
  SetShape Shape(const ChunkBudget& budget, std::int32_t disk_index,
                 std::uint64_t next_chunk, std::uint64_t block_size) const;

  const OperationId set_id_;
  const std::size_t path_length_;
  const std::uint64_t file_length_;
  const int recovery_disks_;
  std::uint64_t block_size_;  // chosen at the first volume, unless given
  const bool block_size_given_;
  std::vector<ChunkEntry> chunks_;
  StreamChecksum kept_file_{StreamChecksum::k128};  // over the chunks kept
  // The volume being written: its chunk, the file's checksum through it, and
  // the checksum file's bytes and identity, for the read-back.
  ChunkEntry pending_;
  StreamChecksum pending_file_{StreamChecksum::k128};
  std::string written_;
  std::optional<FileIdentity> written_identity_;
  // The chunk's bytes as the pass that held them went through them: each
  // block's checksum, and the file's checksum carried on over them.
  std::optional<BlockSums> seen_;
  StreamChecksum seen_file_{StreamChecksum::k128};
  std::uint64_t seen_bytes_ = 0;
};

}  // namespace slicery
