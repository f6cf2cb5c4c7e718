#include "diskset/volume.h"

#include <algorithm>

#include "platform/host_constants.h"

namespace slicery {
namespace {

// No valid record comes near this size; a larger file is read only this far.
constexpr std::size_t kMaxRecordBytes = 64 * 1024;

enum class RecordRead { kMissing, kFailed, kRead };

// The record's bytes, as far as kMaxRecordBytes. False on a read error.
bool ReadBytesOf(File& file, std::string* contents) {
  contents->resize(kMaxRecordBytes);
  bool failed = false;
  contents->resize(file.Read(contents->data(), contents->size(), &failed));
  file.Close();  // opened for reading only: nothing to lose
  return !failed;
}

RecordRead ReadRecordBytes(Env& env, std::string* contents) {
  const std::string path = InfoFilePath(env);
  std::unique_ptr<File> file = env.Open(path, FileMode::kReadText);
  if (!file) return env.Exists(path) ? RecordRead::kFailed : RecordRead::kMissing;
  return ReadBytesOf(*file, contents) ? RecordRead::kRead : RecordRead::kFailed;
}

// Index, mark, length and id: what places a volume in its set.
bool SamePlace(const DiskInfoRecord& a, const DiskInfoRecord& b) {
  return a.disk_index == b.disk_index && a.continuation_mark == b.continuation_mark &&
         a.chunk_length == b.chunk_length && a.operation_id == b.operation_id;
}

}  // namespace

std::string InfoFilePath(Env& env) { return env.VolumeRoot() + kInfoFileName; }
std::string DataFilePath(Env& env) { return env.VolumeRoot() + kDataFileName; }
std::string ProbeFilePath(Env& env) { return env.VolumeRoot() + kProbeFileName; }
std::string VolumeFilePath(Env& env, const char* name) { return env.VolumeRoot() + name; }

bool IsVolumeFile(Env& env, const std::string& path) {
  for (const char* name : {kInfoFileName, kDataFileName, kProbeFileName,
                           kChecksumFileName, kRecoveryChunkName, kRecoveryRecordName}) {
    if (env.SameFile(path, VolumeFilePath(env, name))) return true;
  }
  return false;
}

bool SyncAndClose(File& file) {
  const bool synced = file.Sync();
  const bool closed = file.Close();
  return synced && closed;
}

WriteResult WriteVolumeText(Env& env, const char* name, FileMode mode,
                            const std::string& text,
                            std::optional<FileIdentity>* written) {
  std::unique_ptr<File> file = env.Open(VolumeFilePath(env, name), mode);
  if (!file) return WriteResult::kFailed;
  const bool stored = file->Write(text.data(), text.size()) && file->Sync();
  if (written != nullptr) *written = file->Identity();
  const bool closed = file->Close();
  if (stored && closed) return WriteResult::kWritten;
  return file->NoSpace() ? WriteResult::kNoSpace : WriteResult::kFailed;
}

WriteResult WriteDiskInfo(Env& env, const DiskInfoRecord& record,
                          std::optional<FileIdentity>* written) {
  return WriteVolumeText(env, kInfoFileName, FileMode::kWriteText,
                         FormatDiskInfo(record, kRecordLineEnd), written);
}

namespace {

std::optional<DiskInfoRecord> ReadRecord(Env& env, RecordReading reading,
                                         const DiskInfoRecord& unfilled) {
  std::string contents;
  if (ReadRecordBytes(env, &contents) != RecordRead::kRead) return std::nullopt;
  return DecodeDiskInfo(contents, reading, unfilled);
}

}  // namespace

std::optional<DiskInfoRecord> ReadSetIdentity(Env& env, const DiskInfoRecord& unfilled) {
  return ReadRecord(env, RecordReading::kWholeRecord, unfilled);
}

std::optional<DiskInfoRecord> ReadDiskInfo(Env& env, const DiskInfoRecord& unfilled) {
  return ReadRecord(env, RecordReading::kAfterFirstLine, unfilled);
}

bool RecordReadsBack(Env& env, const FileIdentity& written,
                     const DiskInfoRecord& record) {
  std::unique_ptr<File> file = env.OpenFromMedium(InfoFilePath(env));
  if (!file) return false;
  const std::optional<FileIdentity> found = file->Identity();
  std::string contents;
  if (!found || !found->SameFileAs(written) || !ReadBytesOf(*file, &contents))
    return false;
  // Both readings start from a record whose every field differs from the one
  // written (no word read holds a line end), so each field must come from the
  // bytes read back.
  const DiskInfoRecord other{record.source_path + '\n', ~record.disk_index,
                             static_cast<char>(~record.continuation_mark),
                             ~record.chunk_length, ~record.operation_id};
  const std::optional<DiskInfoRecord> whole =
      DecodeDiskInfo(contents, RecordReading::kWholeRecord, other);
  const std::optional<DiskInfoRecord> place =
      DecodeDiskInfo(contents, RecordReading::kAfterFirstLine, other);
  return whole && place && whole->source_path == record.source_path &&
         SamePlace(*whole, record) && SamePlace(*place, record);
}

RecordedPath ReadRecordedPath(Env& env) {
  std::string contents;
  switch (ReadRecordBytes(env, &contents)) {
    case RecordRead::kMissing:
      return {RecordedPath::kNone, {}, std::nullopt, {}};
    case RecordRead::kFailed:
      return {RecordedPath::kUnreadable, {}, std::nullopt, {}};
    case RecordRead::kRead:
      break;
  }
  RecordedPath recorded{RecordedPath::kRead, FirstLine(contents), std::nullopt, {}};
  // Ids run from 0 to 32767 and indexes from 0: one still at -1 was not in
  // the record.
  constexpr OperationId kNoId = -1;
  const std::optional<DiskInfoRecord> place =
      DecodeDiskInfo(contents, RecordReading::kAfterFirstLine, {"", -1, '\0', 0, kNoId});
  if (place && place->operation_id != kNoId) recorded.operation_id = place->operation_id;
  if (place && place->disk_index >= 0) recorded.place = place->disk_index;
  return recorded;
}

void ClearDiskSet(Env& env) {
  env.Remove(InfoFilePath(env));
  env.Remove(DataFilePath(env));
  env.Remove(ProbeFilePath(env));
  for (const char* name : {kChecksumFileName, kRecoveryRecordName, kRecoveryChunkName}) {
    if (env.Exists(VolumeFilePath(env, name))) env.Remove(VolumeFilePath(env, name));
  }
}

void RemoveLeftoverChunk(Env& env) {
  env.Remove(DataFilePath(env));
  if (env.Exists(VolumeFilePath(env, kChecksumFileName))) {
    env.Remove(VolumeFilePath(env, kChecksumFileName));
  }
}

bool ProbeVolume(Env& env) {
  std::unique_ptr<File> file = env.Open(ProbeFilePath(env), FileMode::kWriteBinary);
  return file && file->Close();
}

std::optional<ChunkBudget> QueryChunkBudget(Env& env) {
  const std::optional<VolumeSpace> space = env.QueryVolumeSpace();
  if (!space) return std::nullopt;
  const std::uint64_t unit = std::max<std::uint64_t>(space->unit, 1);
  const std::uint64_t reserve = std::max(kVolumeReserve, unit);
  if (space->free_bytes < reserve) return std::nullopt;
  std::uint64_t bytes = space->free_bytes - reserve;
  if (space->simulated_free) {
    if (*space->simulated_free < kVolumeReserve) return std::nullopt;
    bytes = std::min(bytes, *space->simulated_free - kVolumeReserve);
  }
  return ChunkBudget{std::min(bytes, kMaxChunkLength), unit,
                     space->simulated_free ? 1 : unit};
}

}  // namespace slicery
