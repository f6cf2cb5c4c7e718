#include "diskset/volume_writer.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "diskset/block_copy.h"
#include "diskset/read_back.h"

namespace slicery {
namespace {

// A chunk cut back this many times and still without room for its record is
// given up, and the volume refused.
constexpr int kMaxCutBacks = 8;

// The length to keep of a chunk whose medium filled up once `reached` bytes
// had gone out: at least one unit less, on a unit boundary, so that the
// record finds a unit free. Nothing when not even one unit would be left.
std::optional<std::uint64_t> CutBack(std::uint64_t reached, std::uint64_t unit) {
  const std::uint64_t units = reached / unit;
  if (units < 2) return std::nullopt;
  return (units - 1) * unit;
}

// Both watchers of a chunk's bytes, the split's and the companion's, as one.
class WatcherPair : public ChunkWatcher {
 public:
  WatcherPair(ChunkWatcher* first, ChunkWatcher* second)
      : first_(first), second_(second) {}
  // The one to pass: none, either alone, or the pair.
  ChunkWatcher* one() {
    if (first_ == nullptr) return second_;
    return second_ == nullptr ? first_ : this;
  }
  void Start() override {
    first_->Start();
    second_->Start();
  }
  void Bytes(const char* bytes, std::size_t size) override {
    first_->Bytes(bytes, size);
    second_->Bytes(bytes, size);
  }

 private:
  ChunkWatcher* first_;
  ChunkWatcher* second_;
};

// One volume's chunk and record, from the data file's creation to the result.
class ChunkWriter {
 public:
  ChunkWriter(Env& env, SplitSource& source, const ChunkBudget& budget,
              const VolumeFields& fields, bool read_back, ProgressMeter& meter,
              VolumeCompanion* companion, std::optional<char> copy_mark)
      : env_(env),
        source_(source),
        budget_(budget),
        fields_(fields),
        read_back_(read_back),
        meter_(meter),
        companion_(companion),
        copy_mark_(copy_mark) {}

  VolumeWriteResult Write() {
    std::unique_ptr<File> data = env_.Open(DataFilePath(env_), FileMode::kWriteBinary);
    if (!data) return {VolumeWrite::kNotCreated};
    meter_.Start("Writing to disk [");
    // Unread, the chunk's bytes are seen by the split's watcher and the
    // companion only as they are written.
    WatcherPair watchers(source_.watcher, companion_);
    ChunkWatcher* const watcher = read_back_ ? nullptr : watchers.one();
    const CopyResult copy =
        CopyBlocks(source_.file, *data, budget_.bytes, VolumeDots(budget_.bytes), meter_,
                   CopyInKernel, watcher);
    meter_.Finish();
    if (copy.status == CopyStatus::kReadFailed) {
      data->Close();  // cleared below: nothing of it is kept
      return Fail(VolumeWrite::kSourceFailed);
    }
    last_ = copy_mark_ ? *copy_mark_ == '*' : copy.source_ended;
    data_written_ = data->Identity();
    // A copy whose source ends short of its chunk would not be the volume.
    if (copy_mark_ && copy.status == CopyStatus::kCopied && copy.bytes != budget_.bytes) {
      data->Close();  // cleared below
      return Fail(VolumeWrite::kSourceFailed);
    }
    const std::optional<std::uint64_t> kept = Settle(*data, copy);
    const bool closed = data->Close();
    if (!kept || !closed) return Fail(failure_);
    if (read_back_) {
      const VolumeWrite checked = ReadBack(*kept);
      if (checked != VolumeWrite::kWritten) return Fail(checked);
    }
    return Succeed(*kept);
  }

 private:
  // The one place the source is moved: to `offset` from its start, so that
  // the next read takes the byte there.
  bool PlaceSource(std::uint64_t offset) { return source_.file.Seek(offset); }

  // The companion's file, the record, then the directory entries, on the
  // medium. The chunk, synced, is proven first where it is read back, so that
  // the companion's file never stands beside a chunk that did not read back.
  WriteResult Record(std::uint64_t chunk_length) {
    if (companion_ != nullptr) {
      if (read_back_ && proven_ != chunk_length) {
        failure_ = ProveChunk(chunk_length);
        if (failure_ != VolumeWrite::kWritten) return WriteResult::kFailed;
      }
      const WriteResult companion = companion_->Write(
          env_, source_.file, fields_.disk_index, source_.next_chunk, chunk_length);
      failure_ = companion == WriteResult::kSourceFailed ? VolumeWrite::kSourceFailed
                                                         : VolumeWrite::kFailed;
      if (companion != WriteResult::kWritten) return companion;
    }
    const DiskInfoRecord record{
        fields_.source_path, fields_.disk_index, last_ ? '*' : '+',
        static_cast<std::int32_t>(chunk_length), fields_.operation_id};
    const WriteResult written = WriteDiskInfo(env_, record, &record_written_);
    record_ = record;
    if (written != WriteResult::kWritten) return written;
    return env_.SyncVolume() ? WriteResult::kWritten : WriteResult::kFailed;
  }

  // Makes the copied chunk durable and writes its record beside it. A medium
  // that fills up first (its metadata takes units that its free figure did
  // not show) keeps a shorter chunk: the data file is cut back and synced and
  // the record written for what is kept, as often as kMaxCutBacks. The length
  // kept; nothing when the volume cannot keep a chunk of one unit with its
  // record, or failed for another reason.
  std::optional<std::uint64_t> Settle(File& data, const CopyResult& copy) {
    std::uint64_t kept = copy.bytes;
    WriteResult result = WriteResult::kFailed;
    if (copy.status == CopyStatus::kCopied && data.Sync()) {
      result = Record(kept);
    } else if (data.NoSpace() && !copy_mark_) {
      result = WriteResult::kNoSpace;
      // A write that failed part-way still put some bytes on the medium.
      kept = std::max(kept, data.Position().value_or(0));
      if (copy.status == CopyStatus::kWriteFailed) kept = FillLastUnits(data, kept);
    }
    // A copy is whole or nothing: it is never cut back.
    for (int cut = 0;
         result == WriteResult::kNoSpace && !copy_mark_ && cut < kMaxCutBacks; ++cut) {
      const std::optional<std::uint64_t> shorter = CutBack(kept, budget_.unit);
      if (!shorter || !data.Truncate(*shorter) || !data.Sync()) return std::nullopt;
      kept = *shorter;
      last_ = false;  // what was cut off goes onto the next volume
      result = Record(kept);
    }
    if (result != WriteResult::kWritten) return std::nullopt;
    return kept;
  }

  // After the medium refused a block, the units it still has are filled one
  // unit (at most one copy buffer) at a time, until a write fails, the budget
  // is reached or the source ends: a file system can refuse a whole block (a
  // page of the cache, a run of clusters) while single units would still fit.
  // The length the data file then reached.
  std::uint64_t FillLastUnits(File& data, std::uint64_t reached) {
    const std::uint64_t piece = std::min<std::uint64_t>(budget_.unit, kCopyBufferSize);
    if (!PlaceSource(source_.next_chunk + reached)) return reached;
    while (reached < budget_.bytes) {
      const std::uint64_t wanted = std::min(piece, budget_.bytes - reached);
      const CopyResult more = CopyBlocks(source_.file, data, wanted, DotRule{}, meter_);
      reached += more.bytes;
      if (more.status != CopyStatus::kCopied || more.bytes < wanted) break;
    }
    return std::max(reached, data.Position().value_or(0));
  }

  // The chunk read back from the medium by its path, `length` bytes long,
  // and compared with the source read again, the watchers seeing its bytes:
  // "Checking [", its dots, "] ". A mismatch is the medium's fault unless the
  // source is no longer the file that was opened.
  VolumeWrite ProveChunk(std::uint64_t length) {
    meter_.Start("Checking [");
    const ChunkComparison chunk = CompareWithMedium(length);
    meter_.Finish();
    if (chunk == ChunkComparison::kSourceFailed) return VolumeWrite::kSourceFailed;
    const std::optional<FileIdentity> now = source_.file.Identity();
    if (source_.opened && (!now || !now->UnchangedFrom(*source_.opened))) {
      return VolumeWrite::kSourceChanged;
    }
    if (chunk != ChunkComparison::kEqual) return VolumeWrite::kReadBackFailed;
    proven_ = length;
    return VolumeWrite::kWritten;
  }

  // The chunk proven, unless it was before its companion's file was written,
  // then the companion's file and the record read back and compared with the
  // bytes written.
  VolumeWrite ReadBack(std::uint64_t kept) {
    if (proven_ != kept) {
      const VolumeWrite chunk = ProveChunk(kept);
      if (chunk != VolumeWrite::kWritten) return chunk;
    }
    const bool record_good = record_written_ &&
                             RecordReadsBack(env_, *record_written_, record_) &&
                             (companion_ == nullptr || companion_->ReadsBack(env_));
    return record_good ? VolumeWrite::kWritten : VolumeWrite::kReadBackFailed;
  }

  ChunkComparison CompareWithMedium(std::uint64_t length) {
    if (!data_written_) return ChunkComparison::kDiffers;
    std::unique_ptr<File> stored = env_.OpenFromMedium(DataFilePath(env_));
    if (!stored) return ChunkComparison::kDiffers;
    const std::optional<FileIdentity> found = stored->Identity();
    if (!found || !found->SameFileAs(*data_written_)) return ChunkComparison::kDiffers;
    if (!PlaceSource(source_.next_chunk)) return ChunkComparison::kSourceFailed;
    WatcherPair watchers(source_.watcher, companion_);
    const ChunkComparison compared =
        CompareChunk(*stored, source_.file, length, meter_, watchers.one());
    stored->Close();  // opened for reading only: nothing to lose
    return compared;
  }

  // A volume that did not take its chunk and record whole keeps none of it,
  // and the source goes back to the chunk's first byte for the next volume.
  // The removals are made durable too: a disk pulled at the next request must
  // not keep a record, synced before the volume was refused, that names it a
  // volume of this set. A failure there is passed over, as a failed removal
  // is: the volume is refused either way.
  VolumeWriteResult Fail(VolumeWrite status) {
    ClearDiskSet(env_);
    (void)env_.SyncVolume();
    if (!PlaceSource(source_.next_chunk)) status = VolumeWrite::kSourceFailed;
    return {status};
  }

  // The next chunk starts after the bytes kept. The source is placed there
  // whatever read it last: a chunk cut back leaves it ahead of that byte.
  VolumeWriteResult Succeed(std::uint64_t kept) {
    const std::uint64_t next = source_.next_chunk + kept;
    if (!PlaceSource(next)) return Fail(VolumeWrite::kSourceFailed);
    source_.next_chunk = next;
    if (companion_ != nullptr) companion_->Keep();
    return {VolumeWrite::kWritten, kept, last_};
  }

  Env& env_;
  SplitSource& source_;
  const ChunkBudget& budget_;
  const VolumeFields& fields_;
  const bool read_back_;
  ProgressMeter& meter_;
  VolumeCompanion* const companion_;
  // A copy of a volume of a set: the mark it had; its chunk is all or nothing.
  const std::optional<char> copy_mark_;
  bool last_ = false;  // the record marks the volume as the set's last
  // Why the chunk and its files were not settled, when they were not.
  VolumeWrite failure_ = VolumeWrite::kFailed;
  std::optional<FileIdentity> data_written_;  // the data file, as created
  std::optional<std::uint64_t> proven_;       // the chunk length read back equal
  DiskInfoRecord record_;                     // the record last written, and its file
  std::optional<FileIdentity> record_written_;
};

VolumeWriteResult WriteChunk(Env& env, SplitSource& source, const ChunkBudget& budget,
                             const VolumeFields& fields, bool read_back,
                             ProgressMeter& meter, VolumeCompanion* companion,
                             std::optional<char> copy_mark) {
  ChunkBudget room = budget;
  if (companion != nullptr) {
    const std::optional<std::uint64_t> reserve =
        companion->Reserve(budget, fields.disk_index, source.next_chunk);
    if (!reserve) return {VolumeWrite::kTooSmall};
    room.bytes = budget.bytes > *reserve ? budget.bytes - *reserve : 0;
  }
  return ChunkWriter(env, source, room, fields, read_back, meter, companion, copy_mark)
      .Write();
}

}  // namespace

VolumeWriteResult WriteVolume(Env& env, SplitSource& source, const ChunkBudget& budget,
                              const VolumeFields& fields, bool read_back,
                              ProgressMeter& meter, VolumeCompanion* companion) {
  return WriteChunk(env, source, budget, fields, read_back, meter, companion,
                    std::nullopt);
}

VolumeWriteResult WriteVolumeCopy(Env& env, SplitSource& source,
                                  const ChunkBudget& budget, const VolumeFields& fields,
                                  char mark, bool read_back, ProgressMeter& meter,
                                  VolumeCompanion* companion) {
  return WriteChunk(env, source, budget, fields, read_back, meter, companion, mark);
}

}  // namespace slicery
