#include "split/split_journal.h"

#include <limits>
#include <memory>

#include "recovery/checked_text.h"
#include "recovery/checksum.h"
#include "recovery/stripe_codec.h"

namespace slicery {
namespace {

constexpr char kJournalKind[] = "SLICERY SPLIT JOURNAL 1";
constexpr std::uint64_t kAny = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kMaxId = 32767;
constexpr std::uint64_t kMaxIndex = 2147483647;
// Far more than the journal of any set a person could insert the disks of.
constexpr std::size_t kMaxJournalBytes = 256 * 1024 * 1024;
constexpr std::size_t kReadPiece = 64 * 1024;

// The chunks follow each other from the start of the file. (Their end is
// not held against the file's size: a disk's size reads as 0.)
bool ChunksFollowOn(const SplitProgress& progress) {
  std::uint64_t next = 0;
  for (const ChunkEntry& chunk : progress.chunks) {
    if (chunk.offset != next || chunk.length > kAny - next) return false;
    next += chunk.length;
  }
  return true;
}

bool ReadChunkList(CheckedTextReader& text, std::uint64_t count,
                   SplitProgress* progress) {
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::optional<std::string_view> line = text.Line();
    const std::optional<ChunkEntry> chunk = line ? ParseChunkEntry(*line) : std::nullopt;
    if (!chunk) return false;
    progress->chunks.push_back(*chunk);
  }
  return text.AtEnd();
}

}  // namespace

std::string FormatSplitProgress(const SplitProgress& progress) {
  CheckedTextWriter text(kJournalKind);
  text.Line(progress.source);
  text.Line(progress.recorded_path);
  text.Number(progress.file.device);
  text.Number(progress.file.index);
  text.Number(progress.file.size);
  text.Number(static_cast<std::uint64_t>(progress.file.modified));
  text.Number(static_cast<std::uint64_t>(progress.set_id));
  text.Number(static_cast<std::uint64_t>(progress.recovery_disks));
  text.Number(progress.block_size);
  text.Number(progress.data_done ? 1 : 0);
  text.Number(static_cast<std::uint64_t>(progress.recovery_done));
  text.Number(progress.chunks.size());
  for (const ChunkEntry& chunk : progress.chunks) text.Line(FormatChunkEntry(chunk));
  return text.Finish();
}

std::optional<SplitProgress> ParseSplitProgress(std::string_view bytes) {
  CheckedTextReader text;
  if (!text.Open(bytes, kJournalKind)) return std::nullopt;
  const auto source = text.Line();
  const auto recorded = text.Line();
  const auto device = text.Number(kAny);
  const auto index = text.Number(kAny);
  const auto size = text.Number(kAny);
  const auto modified = text.Number(kAny);
  const auto id = text.Number(kMaxId);
  const auto recovery = text.Number(kMaxRecoveryDisks);
  const auto block_size = text.Number(kAny);
  const auto data_done = text.Number(1);
  const auto recovery_done = text.Number(kMaxRecoveryDisks);
  const auto count = text.Number(kMaxIndex);
  if (!source || !recorded || !device || !index || !size || !modified || !id ||
      !recovery || !block_size || *block_size == 0 || !data_done || !recovery_done ||
      *recovery_done > *recovery || !count) {
    return std::nullopt;
  }
  SplitProgress progress{std::string(*source),
                         std::string(*recorded),
                         {*device, *index, *size, static_cast<std::int64_t>(*modified)},
                         static_cast<OperationId>(*id),
                         static_cast<int>(*recovery),
                         *block_size,
                         {},
                         *data_done == 1,
                         static_cast<int>(*recovery_done)};
  if (!ReadChunkList(text, *count, &progress) || !ChunksFollowOn(progress))
    return std::nullopt;
  return progress;
}

// One file per source, named after the XXH3-64 of its absolute path; the
// path inside tells which file it is.
std::optional<JournalFile> JournalFile::Of(Env& env, const std::string& source) {
  const std::optional<std::string> folder = env.StateFolder();
  if (!folder) return std::nullopt;
  return JournalFile(env, *folder + "split-" + HexOf(BlockChecksum(source)) + ".journal");
}

JournalFile::Found JournalFile::Read(SplitProgress* progress) {
  std::unique_ptr<File> file = env_->Open(path_, FileMode::kReadBinary);
  if (!file) return env_->Exists(path_) ? Found::kDamaged : Found::kNone;
  std::string bytes;
  bool failed = false;
  for (std::size_t got = kReadPiece;
       got == kReadPiece && !failed && bytes.size() <= kMaxJournalBytes;) {
    bytes.resize(bytes.size() + kReadPiece);
    got = file->Read(bytes.data() + bytes.size() - kReadPiece, kReadPiece, &failed);
    bytes.resize(bytes.size() - kReadPiece + got);
  }
  file->Close();  // opened for reading only
  std::optional<SplitProgress> read = ParseSplitProgress(bytes);
  if (failed || !read) return Found::kDamaged;
  *progress = std::move(*read);
  return Found::kRead;
}

bool JournalFile::Write(const SplitProgress& progress) {
  const std::string text = FormatSplitProgress(progress);
  // A run stopped during an update may have left its new file behind.
  const std::string fresh = path_ + ".new";
  if (env_->Exists(fresh)) env_->Remove(fresh);
  std::unique_ptr<File> file = env_->CreateNew(fresh, path_);
  if (!file) return false;
  const bool written = file->Write(text.data(), text.size()) && file->Sync();
  const bool closed = file->Close();
  if (!written || !closed || !env_->Rename(fresh, path_)) {
    env_->Remove(fresh);
    return false;
  }
  return env_->SyncFolderOf(path_);
}

void JournalFile::Remove() {
  env_->Remove(path_);
  (void)env_->SyncFolderOf(path_);  // at worst an old journal, checked before use
}

}  // namespace slicery
