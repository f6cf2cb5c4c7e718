#include "recovery/recovery_writer.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "recovery/checksum.h"
#include "recovery/stripe_codec.h"

namespace slicery {
namespace {

// The bytes of the source read at once for each chunk, and the bytes all of
// them may take together: the memory stays the same for any file and set.
constexpr std::size_t kMostSegment = 1024 * 1024;
constexpr std::size_t kSegmentBudget = 8 * 1024 * 1024;
constexpr std::size_t kLeastSegment = 4096;

class RecoveryDiskWriter {
 public:
  RecoveryDiskWriter(Env& env, File& source, const std::optional<FileIdentity>& opened,
                     const RecoveryPlan& plan, int index, ProgressMeter& meter)
      : env_(env),
        source_(source),
        opened_(opened),
        plan_(plan),
        index_(index),
        meter_(meter),
        length_(RecoveryChunkLength(plan)),
        segment_(StripeSegmentSize(plan.chunks.size() + 1)) {}

  VolumeWriteResult Write(bool read_back) {
    std::unique_ptr<File> chunk =
        env_.Open(VolumeFilePath(env_, kRecoveryChunkName), FileMode::kWriteBinary);
    if (!chunk) return {VolumeWrite::kNotCreated};
    meter_.Start("Writing to disk [");
    VolumeWrite status = Encode(*chunk);
    meter_.Finish();
    const std::optional<FileIdentity> chunk_written = chunk->Identity();
    const bool closed = SyncAndClose(*chunk);
    if (status == VolumeWrite::kWritten && !closed) status = VolumeWrite::kFailed;
    if (status == VolumeWrite::kWritten) status = WriteRecord();
    if (status == VolumeWrite::kWritten && read_back) status = ReadBack(chunk_written);
    if (status != VolumeWrite::kWritten) {
      // The removals reach the medium too, as a data disk's do: a disk pulled
      // at the next request must keep no record, synced before the disk was
      // refused, that names it a recovery disk of this set.
      ClearDiskSet(env_);
      (void)env_.SyncVolume();
      return {status};
    }
    return {VolumeWrite::kWritten, length_, true};
  }

 private:
  // The recovery chunk, one segment of every data chunk at a time: the
  // source's bytes at the same place in each chunk (a shorter chunk counting
  // as zeros past its end) give this disk's row of the stripe's code.
  VolumeWrite Encode(File& chunk) {
    const StripeCodec codec(static_cast<int>(plan_.chunks.size()), plan_.recovery_disks);
    std::vector<std::vector<unsigned char>> data(plan_.chunks.size(),
                                                 std::vector<unsigned char>(segment_));
    std::vector<unsigned char*> blocks;
    for (auto& block : data) blocks.push_back(block.data());
    std::vector<unsigned char> out(segment_);
    // Every recovery disk checks the chunks read again against the data
    // disks' checksums: a file changed in place with its time put back keeps
    // its size and time, and a recovery disk made from it would not match.
    std::vector<BlockSums> read_sums(plan_.chunks.size(),
                                     BlockSums(plan_.block_size, false));
    BlockSums sums(plan_.block_size, true);
    std::uint64_t dots = 0;
    for (std::uint64_t at = 0; at < length_; at += segment_) {
      const std::size_t size = std::min<std::uint64_t>(segment_, length_ - at);
      for (std::size_t i = 0; i < plan_.chunks.size(); ++i) {
        if (!ReadSegment(plan_.chunks[i], at, size, data[i].data(), read_sums[i])) {
          return VolumeWrite::kSourceFailed;
        }
      }
      codec.Encode(size, blocks.data(), index_, out.data());
      if (!chunk.Write(reinterpret_cast<const char*>(out.data()), size)) {
        return VolumeWrite::kFailed;
      }
      sums.Add(out.data(), size);
      const std::uint64_t before = dots;
      DrawDotsDue(meter_, at + size, length_, &dots);
      if (dots != before && !chunk.Sync()) return VolumeWrite::kFailed;
    }
    sums.Finish();
    blocks_ = sums.blocks();
    return SourceUnchanged(read_sums) ? VolumeWrite::kWritten
                                      : VolumeWrite::kSourceChanged;
  }

  // `size` bytes of the chunk from `at` into `into`, zeros past its end.
  bool ReadSegment(const ChunkEntry& entry, std::uint64_t at, std::size_t size,
                   unsigned char* into, BlockSums& read) {
    const std::size_t held =
        entry.length > at ? std::min<std::uint64_t>(size, entry.length - at) : 0;
    std::memset(into + held, 0, size - held);
    if (held == 0) return true;
    bool failed = false;
    if (!source_.Seek(entry.offset + at) ||
        source_.Read(reinterpret_cast<char*>(into), held, &failed) != held) {
      return false;
    }
    read.Add(into, held);
    return true;
  }

  // The source read again is the file the data disks were written from.
  bool SourceUnchanged(std::vector<BlockSums>& read_sums) const {
    const std::optional<FileIdentity> now = source_.Identity();
    if (opened_ && (!now || !now->UnchangedFrom(*opened_))) return false;
    for (std::size_t i = 0; i < read_sums.size(); ++i) {
      read_sums[i].Finish();
      if (read_sums[i].chunk() != plan_.chunks[i].checksum) return false;
    }
    return true;
  }

  RecoveryRecord Record() const {
    return {plan_.source_path,    plan_.set_id,     index_,
            plan_.recovery_disks, plan_.block_size, plan_.file_length,
            plan_.file_checksum,  plan_.chunks,     blocks_};
  }

  VolumeWrite WriteRecord() {
    record_text_ = FormatRecoveryRecord(Record());
    if (WriteVolumeText(env_, kRecoveryRecordName, FileMode::kWriteBinary, record_text_,
                        &record_written_) != WriteResult::kWritten ||
        !env_.SyncVolume()) {
      return VolumeWrite::kFailed;
    }
    return VolumeWrite::kWritten;
  }

  // The chunk read from the medium has the checksums of its record, and the
  // record the bytes written.
  VolumeWrite ReadBack(const std::optional<FileIdentity>& chunk_written) {
    meter_.Start("Checking [");
    const bool chunk_good = ChunkReadsBack(chunk_written);
    meter_.Finish();
    if (!chunk_good || !RecordReadsBack()) return VolumeWrite::kReadBackFailed;
    return VolumeWrite::kWritten;
  }

  bool ChunkReadsBack(const std::optional<FileIdentity>& chunk_written) {
    std::unique_ptr<File> file =
        env_.OpenFromMedium(VolumeFilePath(env_, kRecoveryChunkName));
    if (!file || !chunk_written) return false;
    const std::optional<FileIdentity> found = file->Identity();
    if (!found || !found->SameFileAs(*chunk_written)) return false;
    std::vector<char> bytes(segment_);
    BlockSums sums(plan_.block_size, true);
    std::uint64_t dots = 0;
    for (std::uint64_t at = 0; at < length_;) {
      const std::size_t wanted = std::min<std::uint64_t>(segment_, length_ - at);
      bool failed = false;
      if (file->Read(bytes.data(), wanted, &failed) != wanted) return false;
      sums.Add(bytes.data(), wanted);
      at += wanted;
      DrawDotsDue(meter_, at, length_, &dots);
    }
    bool failed = false;
    const bool ends = file->Read(bytes.data(), 1, &failed) == 0 && !failed;
    sums.Finish();
    return ends && sums.blocks() == blocks_;
  }

  bool RecordReadsBack() {
    std::unique_ptr<File> file =
        env_.OpenFromMedium(VolumeFilePath(env_, kRecoveryRecordName));
    if (!file || !record_written_) return false;
    const std::optional<FileIdentity> found = file->Identity();
    std::string bytes(record_text_.size() + 1, '\0');
    bool failed = false;
    bytes.resize(file->Read(bytes.data(), bytes.size(), &failed));
    return found && found->SameFileAs(*record_written_) && !failed &&
           bytes == record_text_;
  }

  Env& env_;
  File& source_;
  const std::optional<FileIdentity>& opened_;
  const RecoveryPlan& plan_;
  const int index_;
  ProgressMeter& meter_;
  const std::uint64_t length_;
  const std::size_t segment_;
  std::vector<std::uint64_t> blocks_;  // of the recovery chunk written
  std::string record_text_;
  std::optional<FileIdentity> record_written_;
};

}  // namespace

std::size_t StripeSegmentSize(std::size_t blocks) {
  std::size_t size = kMostSegment;
  while (size > kLeastSegment && size * blocks > kSegmentBudget) size /= 2;
  return size;
}

std::uint64_t RecoveryChunkLength(const RecoveryPlan& plan) {
  std::uint64_t longest = 0;
  for (const ChunkEntry& chunk : plan.chunks) longest = std::max(longest, chunk.length);
  return longest;
}

std::uint64_t RecoveryDiskNeeds(const RecoveryPlan& plan, std::uint64_t unit) {
  const std::uint64_t length = RecoveryChunkLength(plan);
  RecoveryRecord record{plan.source_path,
                        plan.set_id,
                        0,
                        plan.recovery_disks,
                        plan.block_size,
                        plan.file_length,
                        plan.file_checksum,
                        plan.chunks,
                        std::vector<std::uint64_t>(BlocksIn(length, plan.block_size))};
  const std::uint64_t record_bytes = FormatRecoveryRecord(record).size();
  const auto round_up = [unit](std::uint64_t bytes) {
    return (bytes + unit - 1) / unit * unit;
  };
  return length + round_up(record_bytes);
}

VolumeWriteResult WriteRecoveryDisk(Env& env, File& source,
                                    const std::optional<FileIdentity>& opened,
                                    const RecoveryPlan& plan, int index, bool read_back,
                                    ProgressMeter& meter) {
  return RecoveryDiskWriter(env, source, opened, plan, index, meter).Write(read_back);
}

}  // namespace slicery
