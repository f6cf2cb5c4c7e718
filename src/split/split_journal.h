// The journal of a split that has not finished: one small file on this
// computer, never on a disk of the set, that tells a later split of the same
// file how far the split came, so that it can go on from the next disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diskset/disk_info.h"
#include "platform/env.h"
#include "platform/file.h"
#include "recovery/recovery_files.h"

namespace slicery {

// What the journal holds: which file was split, as it was then, the set it
// went to, and the disks written.
struct SplitProgress {
  std::string source;         // the file's absolute path: whose journal it is
  std::string recorded_path;  // the path as the set's records carry it
  FileIdentity file;          // device, index, size and time when it was split
  OperationId set_id = 0;
  int recovery_disks = 0;  // N; 0 for a set without recovery disks
  // The blocks each chunk's checksum is taken over: the set's block size when
  // it has recovery disks.
  std::uint64_t block_size = 0;
  std::vector<ChunkEntry> chunks;  // the data disks written, in order
  bool data_done = false;          // the last of them holds the end of the file
  int recovery_done = 0;           // recovery disks written
};

// CR LF text that ends with its own XXH3-64.
std::string FormatSplitProgress(const SplitProgress& progress);
// Empty when the bytes are not such a journal, fail their checksum, or
// describe chunks that do not follow each other from the file's start.
std::optional<SplitProgress> ParseSplitProgress(std::string_view bytes);

// The journal of one file, by its absolute path, in the state folder.
class JournalFile {
 public:
  // Empty when the host has no state folder.
  static std::optional<JournalFile> Of(Env& env, const std::string& source);

  enum class Found { kNone, kDamaged, kRead };
  Found Read(SplitProgress* progress);
  // Replaces the journal in one step: a new file beside it, synced, renamed
  // over it, and the folder synced. Whatever happens, the journal left is the
  // one before or the new one, whole. False when the new one may not last.
  bool Write(const SplitProgress& progress);
  // Removes the journal for good.
  void Remove();

 private:
  JournalFile(Env& env, std::string path) : env_(&env), path_(std::move(path)) {}
  Env* env_;
  std::string path_;
};

}  // namespace slicery
