// The three files of a disk set on the volume, and what the operations do to
// a volume: probe it, measure it, clear it, write and read its record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "diskset/disk_info.h"
#include "platform/env.h"
#include "platform/file.h"

namespace slicery {

inline constexpr char kInfoFileName[] = "SLICERY.Q2Z";
inline constexpr char kDataFileName[] = "SLICERY.A2Z";
inline constexpr char kProbeFileName[] = "SLICERY.L2Z";
// A set with recovery disks adds a checksum file to each data disk, and puts
// a recovery chunk and its record on each recovery disk (which has no info
// file, so no reader takes it for a data disk).
inline constexpr char kChecksumFileName[] = "SLICERY.C2Z";
inline constexpr char kRecoveryChunkName[] = "SLICERY.R2Z";
inline constexpr char kRecoveryRecordName[] = "SLICERY.P2Z";

// Free bytes a volume keeps beyond its chunk, at the least: on a medium whose
// allocation unit is larger, the reserve is one unit, so the record gets a
// unit of its own.
inline constexpr std::uint64_t kVolumeReserve = 600;
// A record stores the chunk length as a signed 32-bit decimal.
inline constexpr std::uint64_t kMaxChunkLength = 2147483647;

std::string InfoFilePath(Env& env);
std::string DataFilePath(Env& env);
std::string ProbeFilePath(Env& env);
// The path of one of the volume's files, by its name.
std::string VolumeFilePath(Env& env, const char* name);

// Whether `path` names one of the three files of the volume in the drive,
// however it is spelled. Such a file is never a source or a rebuilt file.
bool IsVolumeFile(Env& env, const std::string& path);

// Flushes `file` to its medium and closes it. False if any step failed; the
// file is closed either way.
bool SyncAndClose(File& file);

// How writing a file onto the volume ended.
enum class WriteResult {
  kWritten,
  kNoSpace,  // a write, flush, sync or close found the medium full
  kFailed,   // any other failure, the open's included
  // The source could not be read again for a file made from it: not the
  // medium's fault.
  kSourceFailed,
};

// Writes the volume's record and makes it reach the medium. Sets *written,
// when given, to the identity of the file written.
// Writes `text` as the volume's file `name`, opened in `mode`, and makes it
// durable; *written (when given) receives which file it went to.
WriteResult WriteVolumeText(Env& env, const char* name, FileMode mode,
                            const std::string& text,
                            std::optional<FileIdentity>* written);

WriteResult WriteDiskInfo(Env& env, const DiskInfoRecord& record,
                          std::optional<FileIdentity>* written = nullptr);

// Whether the record on the medium is the file `written` and reads back, by
// both readings, with every field of `record`.
bool RecordReadsBack(Env& env, const FileIdentity& written, const DiskInfoRecord& record);

// The volume's record read whole: the path and the id name the set it belongs
// to. Fields the record does not supply keep their values in `unfilled`.
// Empty when the volume has no readable record.
std::optional<DiskInfoRecord> ReadSetIdentity(Env& env, const DiskInfoRecord& unfilled);

// Disk index, mark, chunk length and id, read after the first line: the
// volume's place in its set. Fields the record does not supply keep their
// values in `unfilled`. Empty when the volume has no readable record.
std::optional<DiskInfoRecord> ReadDiskInfo(Env& env, const DiskInfoRecord& unfilled);

// What a volume's record says about the set it belongs to.
struct RecordedPath {
  enum Status {
    kNone,        // no record: a blank volume
    kUnreadable,  // a record that cannot be read: the set is unknown
    kRead,
  } status = kNone;
  // The first line without its line end; empty if the record is empty or its
  // first line is too long to be a path.
  std::string first_line;
  // The id of the set, from the record's last field; empty when the record
  // ends before it or holds no number there (a record cut short, say).
  std::optional<OperationId> operation_id;
  // The volume's place in its set: a data disk's index, or for a recovery
  // disk the number of data disks and its own index among the recovery
  // disks. Empty when the record does not say.
  std::optional<std::int32_t> place;
};
RecordedPath ReadRecordedPath(Env& env);

// Deletes the record, the data file and the probe file, in that order, then
// the files of a set with recovery disks.
void ClearDiskSet(Env& env);

// Deletes a data file left without a record, as an interrupted split leaves
// it: it belongs to no set, and the space it holds is the next chunk's.
void RemoveLeftoverChunk(Env& env);

// Leaves an empty probe file on the volume. False when the volume does not
// accept writes.
bool ProbeVolume(Env& env);

// What a chunk may take of the volume in the drive.
struct ChunkBudget {
  std::uint64_t bytes = 0;  // the most the chunk may hold
  std::uint64_t unit = 1;   // the medium's allocation unit
  // The steps in which a file takes room on the volume: the unit, or one
  // byte on a medium of a simulated size, which counts the bytes of its files.
  std::uint64_t room_unit = 1;

  bool operator==(const ChunkBudget&) const = default;
};

// Free bytes less the reserve (the larger of kVolumeReserve and the unit),
// within a simulated size also at most its free bytes less kVolumeReserve, and
// never above kMaxChunkLength. Nothing when fewer than the reserve are free
// (on either figure) or the query failed.
std::optional<ChunkBudget> QueryChunkBudget(Env& env);

}  // namespace slicery
