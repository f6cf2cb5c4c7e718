#include "recovery/recovery_volume.h"

#include <memory>

namespace slicery {
namespace {

// Larger than any checksum file or recovery record of a chunk of 2 GiB.
constexpr std::size_t kMaxTextBytes = 1024 * 1024;

}  // namespace

VolumeText ReadVolumeText(Env& env, const char* name) {
  const std::string path = VolumeFilePath(env, name);
  std::unique_ptr<File> file = env.Open(path, FileMode::kReadBinary);
  if (!file) return {env.Exists(path) ? VolumeText::kUnreadable : VolumeText::kNone, {}};
  VolumeText text{VolumeText::kRead, std::string(kMaxTextBytes + 1, '\0')};
  bool failed = false;
  text.bytes.resize(file->Read(text.bytes.data(), text.bytes.size(), &failed));
  file->Close();  // opened for reading only
  if (failed || text.bytes.size() > kMaxTextBytes) return {VolumeText::kUnreadable, {}};
  return text;
}

std::optional<RecoveryRecord> ReadRecoveryRecord(Env& env) {
  const VolumeText text = ReadVolumeText(env, kRecoveryRecordName);
  if (text.status != VolumeText::kRead) return std::nullopt;
  return ParseRecoveryRecord(text.bytes);
}

RecordedPath ReadRecoveryDiskSet(Env& env) {
  const VolumeText text = ReadVolumeText(env, kRecoveryRecordName);
  switch (text.status) {
    case VolumeText::kNone:
      return {RecordedPath::kNone, {}, std::nullopt, {}};
    case VolumeText::kUnreadable:
      return {RecordedPath::kUnreadable, {}, std::nullopt, {}};
    case VolumeText::kRead:
      break;
  }
  const std::optional<RecoveryRecord> record = ParseRecoveryRecord(text.bytes);
  if (!record) return {RecordedPath::kRead, {}, std::nullopt, {}};
  return {RecordedPath::kRead, record->source_path, record->set_id,
          static_cast<std::int32_t>(record->chunks.size()) + record->recovery_index};
}

}  // namespace slicery
