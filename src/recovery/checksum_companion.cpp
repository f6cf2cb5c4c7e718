#include "recovery/checksum_companion.h"

#include <algorithm>
#include <memory>

#include "diskset/volume.h"
#include "recovery/stripe_codec.h"

namespace slicery {
namespace {

std::uint64_t RoundUp(std::uint64_t bytes, std::uint64_t unit) {
  return (bytes + unit - 1) / unit * unit;
}

// Reads `length` bytes of `source` from `offset` block by block: the checksum
// of each block, of the whole chunk, and the file's checksum carried on.
bool ChecksumChunk(File& source, std::uint64_t offset, std::uint64_t length,
                   std::uint64_t block_size, ChunkChecksums* sums,
                   std::uint64_t* chunk_sum, StreamChecksum* file) {
  if (!source.Seek(offset)) return false;
  std::vector<char> block(block_size);
  ChunkChecksum chunk;
  for (std::uint64_t done = 0; done < length;) {
    const std::size_t wanted = std::min<std::uint64_t>(block_size, length - done);
    bool failed = false;
    if (source.Read(block.data(), wanted, &failed) != wanted) return false;
    sums->blocks.push_back(BlockChecksum({block.data(), wanted}));
    chunk.AddBlock(sums->blocks.back());
    file->Add(block.data(), wanted);
    done += wanted;
  }
  *chunk_sum = chunk.Digest();
  return true;
}

}  // namespace

ChecksumCompanion::ChecksumCompanion(OperationId set_id, const std::string& source_path,
                                     std::uint64_t file_length, int recovery_disks,
                                     std::uint64_t block_size)
    : set_id_(set_id),
      path_length_(source_path.size()),
      file_length_(file_length),
      recovery_disks_(recovery_disks),
      block_size_(block_size != 0 ? block_size : kMinBlockSize),
      block_size_given_(block_size != 0) {}

std::uint64_t ChecksumCompanion::most_data_disks() const {
  return static_cast<std::uint64_t>(kMaxStripeBlocks - recovery_disks_);
}

// The room a recovery disk needs beside its chunk, which is more than the
// checksum file takes: so every disk of the set's kind takes a recovery disk.
// The record lists every data disk; their count is the fewest that hold the
// rest of the file, were every disk from here on like this one, and at most
// what the recovery disks leave of the 255 disks a set may have.
std::optional<std::uint64_t> ChecksumCompanion::Reserve(const ChunkBudget& budget,
                                                        std::int32_t disk_index,
                                                        std::uint64_t next_chunk) {
  if (disk_index == 0 && !block_size_given_) block_size_ = ChooseBlockSize(budget.bytes);
  return Shape(budget, disk_index, next_chunk, block_size_).reserve;
}

bool ChecksumCompanion::TooManyDisks(const ChunkBudget& first) const {
  return Shape(first, 0, 0, ChooseBlockSize(first.bytes)).too_many_disks;
}

// A volume takes a chunk of the budget less the room of a record of `disks`
// data disks; after it come as many volumes as the rest of the file fills
// whole, and one more for what is left (empty when nothing is).
ChecksumCompanion::SetShape ChecksumCompanion::Shape(const ChunkBudget& budget,
                                                     std::int32_t disk_index,
                                                     std::uint64_t next_chunk,
                                                     std::uint64_t block_size) const {
  const std::uint64_t blocks = BlocksIn(budget.bytes, block_size);
  const std::uint64_t unit = budget.room_unit;
  const std::uint64_t left = file_length_ > next_chunk ? file_length_ - next_chunk : 0;
  const std::uint64_t first = static_cast<std::uint64_t>(disk_index) + 1;
  for (std::uint64_t disks = first; disks <= most_data_disks(); ++disks) {
    const std::uint64_t reserve =
        RoundUp(RecoveryRecordBound(path_length_, disks, blocks), unit);
    if (left == 0) return {reserve, false};
    // Too small for a chunk beside the record: a larger disk is needed.
    if (budget.bytes <= reserve) return {std::nullopt, false};
    if (first + left / (budget.bytes - reserve) <= disks) return {reserve, false};
  }
  return {std::nullopt, true};
}

WriteResult ChecksumCompanion::Write(Env& env, File& source, std::int32_t disk_index,
                                     std::uint64_t offset, std::uint64_t length) {
  ChunkChecksums sums{set_id_,      disk_index,      offset,      length,
                      file_length_, recovery_disks_, block_size_, {}};
  pending_file_ = kept_file_;
  pending_ = {offset, length, 0};
  written_identity_.reset();
  if (seen_ && seen_bytes_ == length) {
    seen_->Finish();
    sums.blocks = seen_->blocks();
    pending_.checksum = seen_->chunk();
    pending_file_ = seen_file_;
  } else if (!ChecksumChunk(source, offset, length, block_size_, &sums,
                            &pending_.checksum, &pending_file_)) {
    return WriteResult::kSourceFailed;
  }
  seen_.reset();  // taken: a chunk cut back after this is watched or read anew
  written_ = FormatChunkChecksums(sums);
  // Binary: the text carries its own CR LF line ends.
  return WriteVolumeText(env, kChecksumFileName, FileMode::kWriteBinary, written_,
                         &written_identity_);
}

bool ChecksumCompanion::ReadsBack(Env& env) {
  if (!written_identity_) return false;
  std::unique_ptr<File> file = env.OpenFromMedium(VolumeFilePath(env, kChecksumFileName));
  if (!file) return false;
  const std::optional<FileIdentity> found = file->Identity();
  std::string bytes(written_.size() + 1, '\0');
  bool failed = false;
  bytes.resize(file->Read(bytes.data(), bytes.size(), &failed));
  file->Close();  // opened for reading only
  return found && found->SameFileAs(*written_identity_) && !failed && bytes == written_;
}

void ChecksumCompanion::Keep() {
  chunks_.push_back(pending_);
  kept_file_ = pending_file_;
}

void ChecksumCompanion::Start() {
  seen_.emplace(block_size_, true);
  seen_file_ = kept_file_;
  seen_bytes_ = 0;
}

void ChecksumCompanion::Bytes(const char* bytes, std::size_t size) {
  seen_->Add(bytes, size);
  seen_file_.Add(bytes, size);
  seen_bytes_ += size;
}

void ChecksumCompanion::GoOnFrom(std::uint64_t block_size,
                                 const std::vector<ChunkEntry>& chunks,
                                 const StreamChecksum& file_so_far) {
  block_size_ = block_size;
  chunks_ = chunks;
  kept_file_ = file_so_far;
}

}  // namespace slicery
