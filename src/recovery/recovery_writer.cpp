#include "recovery/recovery_writer.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "diskset/block_copy.h"
#include "recovery/checksum.h"
#include "recovery/stripe_codec.h"
#include "recovery/task_thread.h"

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
                     const RecoveryPlan& plan, int index, KeptRows* kept,
                     ProgressMeter& meter)
      : env_(env),
        source_(source),
        opened_(opened),
        plan_(plan),
        index_(index),
        kept_(kept),
        meter_(meter),
        length_(RecoveryChunkLength(plan)),
        segment_(StripeSegmentSize(2 * plan.chunks.size() + MostRows())) {}

  VolumeWriteResult Write(bool read_back) {
    std::unique_ptr<File> chunk =
        env_.Open(VolumeFilePath(env_, kRecoveryChunkName), FileMode::kWriteBinary);
    if (!chunk) return {VolumeWrite::kNotCreated};
    meter_.Start("Writing to disk [");
    VolumeWrite status = Fill(*chunk, read_back);
    meter_.Finish();
    const std::optional<FileIdentity> chunk_written = chunk->Identity();
    const bool closed = SyncAndClose(*chunk);
    if (status == VolumeWrite::kWritten && !closed) status = VolumeWrite::kFailed;
    if (status == VolumeWrite::kWritten) status = WriteRecord();
    if (status == VolumeWrite::kWritten && read_back) status = ReadBack(chunk_written);
    // A kept chunk copied with the read-back to come is first checked there:
    // one that fails it is computed from the source for the next disk offered.
    if (status == VolumeWrite::kReadBackFailed && copied_kept_) kept_->Forget(index_);
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
  // The recovery chunks computed in one pass: this disk's, and those of the
  // later disks that are to be kept and are not yet.
  int MostRows() const { return kept_ ? std::max(1, kept_->end() - index_) : 1; }
  int RowsToCompute() const {
    int rows = 1;
    while (kept_ && index_ + rows >= kept_->first() && index_ + rows < kept_->end() &&
           !kept_->Has(index_ + rows)) {
      ++rows;
    }
    return rows;
  }

  // This disk's recovery chunk, copied from where an earlier pass kept it, or
  // else computed from the source.
  VolumeWrite Fill(File& chunk, bool read_back) {
    if (kept_ && kept_->Has(index_)) {
      const std::optional<VolumeWrite> copied = CopyKept(chunk, read_back);
      if (copied) return *copied;
      // What was kept did not come back as it was kept: the chunk is computed
      // again, in place of what was written of it.
      kept_->Forget(index_);
      if (!chunk.Truncate(0)) return VolumeWrite::kFailed;
    }
    return Encode(chunk);
  }

  // The sums of a kept chunk's bytes as they pass through the buffer, over
  // all the stretches of one copy.
  class KeptSums : public ChunkWatcher {
   public:
    explicit KeptSums(BlockSums& sums) : sums_(sums) {}
    void Start() override {}
    void Bytes(const char* bytes, std::size_t size) override { sums_.Add(bytes, size); }

   private:
    BlockSums& sums_;
  };

  // The kept chunk onto the disk, one dot's stretch at a time. With the
  // read-back to come, it is copied inside the host where it can, and checked
  // there against the checksums it was kept with; without, it goes through
  // the buffer and is checked here. Nothing when the kept chunk did not read,
  // or not as it was kept.
  std::optional<VolumeWrite> CopyKept(File& chunk, bool read_back) {
    File* kept = kept_->Reader(index_);
    if (kept == nullptr) return std::nullopt;
    BlockSums sums(plan_.block_size, true);
    KeptSums watcher(sums);
    const std::uint64_t stretch = length_ / kProgressScale + 1;
    for (std::uint64_t at = 0; at < length_;) {
      const std::uint64_t wanted = std::min(stretch, length_ - at);
      const CopyResult copy = CopyBlocks(*kept, chunk, wanted, DotRule{}, meter_,
                                         CopyInKernel, read_back ? nullptr : &watcher);
      if (copy.status == CopyStatus::kWriteFailed) return VolumeWrite::kFailed;
      if (copy.status == CopyStatus::kReadFailed || copy.bytes != wanted) {
        return std::nullopt;
      }
      at += wanted;
      if (!Progress(chunk, at)) return VolumeWrite::kFailed;
    }
    sums.Finish();
    if (!read_back && sums.blocks() != kept_->Sums(index_)) return std::nullopt;
    blocks_ = kept_->Sums(index_);
    copied_kept_ = true;
    return VolumeWrite::kWritten;
  }

  // The dots due after `done` bytes; each new one makes what was written so
  // far reach the medium, so that the dots tell what the disk holds.
  bool Progress(File& chunk, std::uint64_t done) {
    const std::uint64_t before = dots_;
    DrawDotsDue(meter_, done, length_, &dots_);
    return dots_ == before || chunk.Sync();
  }

  // One segment of every data chunk, as read from the source.
  struct Segments {
    std::vector<std::vector<unsigned char>> bytes;
    std::vector<unsigned char*> blocks;
    bool read = false;
  };

  Segments MakeSegments() const {
    Segments made;
    made.bytes.assign(plan_.chunks.size(), std::vector<unsigned char>(segment_));
    for (auto& block : made.bytes) made.blocks.push_back(block.data());
    return made;
  }

  // The segment at `at` of every chunk into `into`, each chunk's bytes added
  // to its checksums in `read_sums`.
  void ReadSegments(std::uint64_t at, Segments& into, std::vector<BlockSums>& read_sums) {
    const std::size_t size = std::min<std::uint64_t>(segment_, length_ - at);
    into.read = false;
    for (std::size_t i = 0; i < plan_.chunks.size(); ++i) {
      if (!ReadSegment(plan_.chunks[i], at, size, into.blocks[i], read_sums[i])) return;
    }
    into.read = true;
  }

  // The recovery chunk, one segment of every data chunk at a time: the
  // source's bytes at the same place in each chunk (a shorter chunk counting
  // as zeros past its end) give this disk's row of the stripe's code, and in
  // the same pass the rows of the later disks to be kept. Where the host
  // allows it, the next segments are read on a thread of their own while
  // these are coded and written.
  VolumeWrite Encode(File& chunk) {
    const StripeCodec codec(static_cast<int>(plan_.chunks.size()), plan_.recovery_disks);
    const int rows = RowsToCompute();
    std::vector<std::vector<unsigned char>> out(rows,
                                                std::vector<unsigned char>(segment_));
    std::vector<unsigned char*> outs;
    for (auto& row : out) outs.push_back(row.data());
    for (int r = 1; r < rows; ++r) kept_->Start(index_ + r);
    // Every recovery disk checks the chunks read again against the data
    // disks' checksums: a file changed in place with its time put back keeps
    // its size and time, and a recovery disk made from it would not match.
    std::vector<BlockSums> read_sums(plan_.chunks.size(),
                                     BlockSums(plan_.block_size, false));
    BlockSums sums(plan_.block_size, true);
    Segments sets[2] = {MakeSegments(), MakeSegments()};
    ReadSegments(0, sets[0], read_sums);
    // Made after what its reads fill, so that it waits for them however the
    // pass ends.
    std::optional<TaskThread> reader;
    if (env_.FilesAcrossThreads()) reader.emplace();
    for (std::uint64_t at = 0, n = 0; at < length_; at += segment_, ++n) {
      Segments& now = sets[n % 2];
      if (!now.read) return VolumeWrite::kSourceFailed;
      Segments& next = sets[(n + 1) % 2];
      const bool more = at + segment_ < length_;
      if (more && reader) {
        reader->Start([this, at, &next, &read_sums] {
          ReadSegments(at + segment_, next, read_sums);
        });
      }
      const std::size_t size = std::min<std::uint64_t>(segment_, length_ - at);
      codec.EncodeRows(size, now.blocks.data(), index_, rows, outs.data());
      if (!chunk.Write(reinterpret_cast<const char*>(outs[0]), size)) {
        return VolumeWrite::kFailed;
      }
      sums.Add(outs[0], size);
      for (int r = 1; r < rows; ++r) kept_->Put(index_ + r, outs[r], size);
      if (!Progress(chunk, at + size)) return VolumeWrite::kFailed;
      if (more && !reader) ReadSegments(at + segment_, next, read_sums);
      if (reader) reader->Wait();
    }
    sums.Finish();
    blocks_ = sums.blocks();
    if (!SourceUnchanged(read_sums)) return VolumeWrite::kSourceChanged;
    for (int r = 1; r < rows; ++r) kept_->Finish(index_ + r);
    return VolumeWrite::kWritten;
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
  KeptRows* const kept_;
  ProgressMeter& meter_;
  const std::uint64_t length_;
  const std::size_t segment_;
  std::uint64_t dots_ = 0;
  bool copied_kept_ = false;
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
                                    KeptRows* kept, ProgressMeter& meter) {
  return RecoveryDiskWriter(env, source, opened, plan, index, kept, meter)
      .Write(read_back);
}

}  // namespace slicery
