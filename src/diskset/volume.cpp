#include "diskset/volume.h"

#include <algorithm>

namespace slicery {
namespace {

// No valid record comes near this size; a larger file is read only this far.
constexpr std::size_t kMaxRecordBytes = 64 * 1024;

enum class RecordRead { kMissing, kFailed, kRead };

RecordRead ReadRecordBytes(Env& env, std::string* contents) {
  const std::string path = InfoFilePath(env);
  std::unique_ptr<File> file = env.Open(path, FileMode::kReadText);
  if (!file) return env.Exists(path) ? RecordRead::kFailed : RecordRead::kMissing;
  contents->resize(kMaxRecordBytes);
  bool failed = false;
  contents->resize(file->Read(contents->data(), contents->size(), &failed));
  file->Close();  // opened for reading only: nothing to lose
  return failed ? RecordRead::kFailed : RecordRead::kRead;
}

}  // namespace

std::string InfoFilePath(Env& env) { return env.VolumeRoot() + kInfoFileName; }
std::string DataFilePath(Env& env) { return env.VolumeRoot() + kDataFileName; }
std::string ProbeFilePath(Env& env) { return env.VolumeRoot() + kProbeFileName; }

bool IsVolumeFile(Env& env, const std::string& path) {
  return env.SameFile(path, InfoFilePath(env)) || env.SameFile(path, DataFilePath(env)) ||
         env.SameFile(path, ProbeFilePath(env));
}

bool SyncAndClose(File& file) {
  const bool synced = file.Sync();
  const bool closed = file.Close();
  return synced && closed;
}

WriteResult WriteDiskInfo(Env& env, const DiskInfoRecord& record) {
  std::unique_ptr<File> file = env.Open(InfoFilePath(env), FileMode::kWriteText);
  if (!file) return WriteResult::kFailed;
  const std::string text = FormatDiskInfo(record, kRecordLineEnd);
  const bool stored = file->Write(text.data(), text.size()) && file->Sync();
  const bool closed = file->Close();
  if (stored && closed) return WriteResult::kWritten;
  return file->NoSpace() ? WriteResult::kNoSpace : WriteResult::kFailed;
}

bool ReadSetIdentity(Env& env, std::string* source_path, OperationId* operation_id) {
  std::string contents;
  if (ReadRecordBytes(env, &contents) != RecordRead::kRead) return false;
  return ParseSetIdentity(contents, source_path, operation_id);
}

bool ReadDiskInfo(Env& env, DiskInfoRecord* record) {
  std::string contents;
  if (ReadRecordBytes(env, &contents) != RecordRead::kRead) return false;
  ParseDiskInfo(contents, record);
  return true;
}

RecordedPath ReadRecordedPath(Env& env) {
  std::string contents;
  switch (ReadRecordBytes(env, &contents)) {
    case RecordRead::kMissing:
      return {RecordedPath::kNone, {}, std::nullopt};
    case RecordRead::kFailed:
      return {RecordedPath::kUnreadable, {}, std::nullopt};
    case RecordRead::kRead:
      break;
  }
  RecordedPath recorded{RecordedPath::kRead, FirstLine(contents), std::nullopt};
  DiskInfoRecord rest;
  if (ParseDiskInfo(contents, &rest)) recorded.operation_id = rest.operation_id;
  return recorded;
}

void ClearDiskSet(Env& env) {
  env.Remove(InfoFilePath(env));
  env.Remove(DataFilePath(env));
  env.Remove(ProbeFilePath(env));
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
  return ChunkBudget{std::min(bytes, kMaxChunkLength), unit};
}

}  // namespace slicery
