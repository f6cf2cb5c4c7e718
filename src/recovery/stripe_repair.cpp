#include "recovery/stripe_repair.h"

#include <algorithm>
#include <bit>

#include "recovery/recovery_files.h"
#include "recovery/recovery_writer.h"
#include "recovery/stripe_codec.h"
#include "recovery/task_thread.h"

namespace slicery {
namespace {

// Reads `size` bytes at `offset` of `file` into `into`, zeros after them.
bool ReadAt(File& file, std::uint64_t offset, std::size_t size, std::size_t padded,
            unsigned char* into) {
  std::fill(into + size, into + padded, 0);
  if (size == 0) return true;
  bool failed = false;
  return file.Seek(offset) &&
         file.Read(reinterpret_cast<char*>(into), size, &failed) == size && !failed;
}

// The bytes of `length` that lie from `at` on, at most `size`.
std::size_t Held(std::uint64_t length, std::uint64_t at, std::size_t size) {
  return length > at
             ? static_cast<std::size_t>(std::min<std::uint64_t>(size, length - at))
             : 0;
}

using BadList = std::vector<std::pair<std::uint64_t, std::optional<std::uint64_t>>>;

// Bad blocks are noted in order, so a search finds them.
BadList::const_iterator FindBad(const BadList& bad, std::uint64_t block) {
  const auto found = std::lower_bound(
      bad.begin(), bad.end(), block,
      [](const auto& entry, std::uint64_t wanted) { return entry.first < wanted; });
  return found != bad.end() && found->first == block ? found : bad.end();
}

// Reads `size` bytes of recovery disk `disk` from `at` in the file's stripes
// into `into`, block by block from the store.
bool ReadRecovery(RecoveryBlockStore& store, int disk, std::uint64_t at, std::size_t size,
                  unsigned char* into) {
  const std::uint64_t block_size = store.block_size();
  for (std::size_t done = 0; done < size;) {
    const std::uint64_t place = at + done;
    const std::size_t piece = static_cast<std::size_t>(
        std::min<std::uint64_t>(size - done, block_size - place % block_size));
    if (!store.Get(place / block_size, disk, place % block_size, piece, into + done)) {
      return false;
    }
    done += piece;
  }
  return true;
}

}  // namespace

bool DiskBlocks::IsBad(std::uint64_t block) const {
  return all_bad || FindBad(bad, block) != bad.end();
}

std::optional<std::uint64_t> DiskBlocks::KnownSum(std::uint64_t block) const {
  const auto found = FindBad(bad, block);
  return found == bad.end() ? std::nullopt : found->second;
}

int StripeRepair::BadIn(std::uint64_t block) const {
  int bad = 0;
  for (const DiskBlocks& disk : disks_) {
    bad += block * block_size_ < disk.length && disk.IsBad(block);
  }
  return bad;
}

std::vector<DamagedStripe> StripeRepair::Plan() const {
  std::vector<DamagedStripe> stripes;
  std::uint64_t longest = 0;
  for (const DiskBlocks& disk : disks_) longest = std::max(longest, disk.length);
  for (std::uint64_t j = 0; j < BlocksIn(longest, block_size_); ++j) {
    const DamagedStripe stripe{j, BadIn(j)};
    if (stripe.bad > 0) stripes.push_back(stripe);
  }
  return stripes;
}

// Which blocks of the stripe at `block` are lost: its bad data blocks, and
// the recovery blocks not kept.
std::vector<bool> StripeRepair::LostIn(std::uint64_t block, std::uint16_t have) const {
  const std::size_t data = disks_.size();
  std::vector<bool> lost(data + static_cast<std::size_t>(recovery_disks_));
  for (std::size_t i = 0; i < data; ++i) {
    lost[i] = block * block_size_ < disks_[i].length && disks_[i].IsBad(block);
  }
  for (int r = 0; r < recovery_disks_; ++r) lost[data + r] = !(have >> r & 1);
  return lost;
}

// The stripes given, in runs of neighbours that lose the same blocks, at
// most as many as a segment holds; a stripe without as many recovery blocks
// kept as it has bad data blocks is lost at once.
std::vector<StripeRepair::Run> StripeRepair::PlanRuns(
    const std::vector<DamagedStripe>& stripes, RecoveryBlockStore* store,
    std::size_t segment, StripeLoss* loss) const {
  std::vector<Run> runs;
  const std::uint64_t most = std::max<std::uint64_t>(1, segment / block_size_);
  for (std::size_t s = 0; s < stripes.size();) {
    const DamagedStripe& first = stripes[s];
    if (!store || std::popcount(store->Have(first.block)) < first.bad) {
      Lose(first, loss);
      ++s;
      continue;
    }
    Run run{s, first.block, 1, LostIn(first.block, store->Have(first.block))};
    while (s + run.count < stripes.size() && run.count < most &&
           stripes[s + run.count].block == first.block + run.count &&
           LostIn(first.block + run.count, store->Have(first.block + run.count)) ==
               run.lost) {
      ++run.count;
    }
    s += run.count;
    runs.push_back(std::move(run));
  }
  return runs;
}

// The piece read after `after` (the first when there is none): the next
// segment of its run, or the start of the next run.
std::optional<StripeRepair::Piece> StripeRepair::NextPiece(
    const std::vector<Run>& runs, const std::optional<Piece>& after,
    std::size_t segment) const {
  std::size_t r = after ? after->run : 0;
  std::uint64_t at = runs.empty() ? 0 : runs[0].block * block_size_;
  if (after) {
    const Run& run = runs[after->run];
    at = after->at + after->size;
    if (at == (run.block + run.count) * block_size_ && ++r < runs.size()) {
      at = runs[r].block * block_size_;
    }
  }
  if (r >= runs.size()) return std::nullopt;
  const std::uint64_t end = (runs[r].block + runs[r].count) * block_size_;
  return Piece{r, at,
               static_cast<std::size_t>(std::min<std::uint64_t>(segment, end - at))};
}

// The good blocks of a piece, read back through `written`, and the recovery
// blocks kept for it.
void StripeRepair::ReadPiece(const Run& run, const Piece& piece, File& written,
                             RecoveryBlockStore& store, Buffers& into) const {
  const std::size_t data = disks_.size();
  into.read = Buffers::Read::kDone;
  for (std::size_t i = 0; i < data; ++i) {
    const std::size_t held = Held(disks_[i].length, piece.at, piece.size);
    if (!run.lost[i] &&
        !ReadAt(written, disks_[i].offset + piece.at, held, piece.size, into.blocks[i])) {
      into.read = Buffers::Read::kTargetFailed;
      return;
    }
  }
  for (int r = 0; r < recovery_disks_; ++r) {
    if (!run.lost[data + r] &&
        !ReadRecovery(store, r, piece.at, piece.size, into.blocks[data + r])) {
      into.read = Buffers::Read::kStoreFailed;
      return;
    }
  }
}

// Rebuilds the bad data blocks of a piece read into `from`, and writes them
// into the target at their offsets, each disk's bytes added to its `sums`.
void StripeRepair::WritePiece(const StripeCodec& codec, Run& run, const Piece& piece,
                              Buffers& from, File& target, std::vector<BlockSums>& sums,
                              StripeLoss* loss) const {
  if (from.read == Buffers::Read::kTargetFailed) {
    loss->target_failed = true;
    return;
  }
  if (from.read == Buffers::Read::kStoreFailed ||
      !codec.Rebuild(piece.size, from.blocks.data(), run.lost)) {
    run.failed = true;
    return;
  }
  for (std::size_t i = 0; i < disks_.size(); ++i) {
    const std::size_t held = Held(disks_[i].length, piece.at, piece.size);
    if (!run.lost[i] || held == 0) continue;
    sums[i].Add(from.blocks[i], held);
    if (!target.Seek(disks_[i].offset + piece.at) ||
        !target.Write(reinterpret_cast<const char*>(from.blocks[i]), held)) {
      loss->target_failed = true;
      return;
    }
  }
}

// Once every piece of a run is written: its rebuilt blocks' checksums go to
// their disks' chunk checksums, and a rebuilt block whose checksum its disk
// told must have it. A run that could not be rebuilt loses its stripes.
void StripeRepair::FinishRun(const std::vector<DamagedStripe>& stripes, const Run& run,
                             std::vector<BlockSums>& sums,
                             std::vector<ChunkChecksum>& chains, StripeLoss* loss) const {
  if (run.failed) {
    for (std::uint64_t k = 0; k < run.count; ++k) Lose(stripes[run.first + k], loss);
    return;
  }
  for (std::size_t i = 0; i < disks_.size(); ++i) {
    if (!run.lost[i]) continue;
    sums[i].Finish();
    for (std::uint64_t j = 0; j < sums[i].blocks().size(); ++j) {
      const std::uint64_t sum = sums[i].blocks()[j];
      chains[i].AddBlock(sum);
      const std::optional<std::uint64_t> known = disks_[i].KnownSum(run.block + j);
      if (known && sum != *known) {
        loss->disks.push_back(static_cast<std::int32_t>(i));
        loss->bytes += Held(disks_[i].length, (run.block + j) * block_size_, block_size_);
      }
    }
  }
}

// The bad blocks of a stripe that could not be rebuilt.
void StripeRepair::Lose(const DamagedStripe& stripe, StripeLoss* loss) const {
  const std::uint64_t start = stripe.block * block_size_;
  for (std::size_t i = 0; i < disks_.size(); ++i) {
    if (start < disks_[i].length && disks_[i].IsBad(stripe.block)) {
      loss->disks.push_back(static_cast<std::int32_t>(i));
      loss->bytes += Held(disks_[i].length, start, block_size_);
    }
  }
}

StripeLoss StripeRepair::Rebuild(const std::vector<DamagedStripe>& stripes,
                                 RecoveryBlockStore* store, File& target, File* written,
                                 bool read_beside) const {
  StripeLoss loss;
  std::vector<ChunkChecksum> chains(disks_.size());
  const int total = static_cast<int>(disks_.size()) + recovery_disks_;
  const std::size_t segment =
      stripes.empty()
          ? 0
          : std::min<std::uint64_t>(StripeSegmentSize(total),
                                    std::max<std::uint64_t>(block_size_, kRunBytes));
  std::vector<Run> runs = PlanRuns(stripes, written ? store : nullptr, segment, &loss);
  // Two pieces' room: where the host allows it, the next piece is read on a
  // thread of its own while this one is rebuilt and written.
  Buffers sets[2];
  for (Buffers& set : sets) {
    set.bytes.resize(runs.empty() ? 0 : segment * total);
    for (int b = 0; b < total; ++b) set.blocks.push_back(set.bytes.data() + b * segment);
  }
  std::optional<Piece> piece = NextPiece(runs, std::nullopt, segment);
  if (piece) ReadPiece(runs[piece->run], *piece, *written, *store, sets[0]);
  std::optional<StripeCodec> codec;
  if (!runs.empty()) codec.emplace(static_cast<int>(disks_.size()), recovery_disks_);
  std::vector<BlockSums> sums;
  std::optional<TaskThread> reader;  // made after what its reads fill
  if (read_beside) reader.emplace();
  for (std::size_t n = 0; piece && !loss.target_failed; ++n) {
    const std::optional<Piece> next = NextPiece(runs, piece, segment);
    Buffers& ahead = sets[(n + 1) % 2];
    const auto read_next = [this, &runs, next, written, store, &ahead] {
      ReadPiece(runs[next->run], *next, *written, *store, ahead);
    };
    if (next && reader) reader->Start(read_next);
    Run& run = runs[piece->run];
    if (piece->at == run.block * block_size_) {
      sums.assign(disks_.size(), BlockSums(block_size_, true));
    }
    if (!run.failed) WritePiece(*codec, run, *piece, sets[n % 2], target, sums, &loss);
    if (!next || next->run != piece->run) FinishRun(stripes, run, sums, chains, &loss);
    if (next && !reader) read_next();
    if (reader) reader->Wait();
    piece = next;
  }
  // A disk lost whole has every stripe damaged, rebuilt in order, where the
  // stripes given are all of them.
  loss.rebuilt_whole.resize(disks_.size());
  for (std::size_t i = 0; i < disks_.size(); ++i) {
    const bool lost = std::find(loss.disks.begin(), loss.disks.end(),
                                static_cast<std::int32_t>(i)) != loss.disks.end();
    if (disks_[i].all_bad && !lost && !loss.target_failed &&
        chains[i].blocks() == BlocksIn(disks_[i].length, block_size_)) {
      loss.rebuilt_whole[i] = chains[i].Digest();
    }
  }
  std::sort(loss.disks.begin(), loss.disks.end());
  loss.disks.erase(std::unique(loss.disks.begin(), loss.disks.end()), loss.disks.end());
  return loss;
}

}  // namespace slicery
