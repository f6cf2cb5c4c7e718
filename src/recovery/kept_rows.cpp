#include "recovery/kept_rows.h"

namespace slicery {
namespace {

// The temporary folder's bytes left free at least once the chunks are kept.
constexpr std::uint64_t kLeftFree = 64 * 1024 * 1024;

}  // namespace

std::unique_ptr<KeptRows> KeptRows::Make(Env& env, int first, int end,
                                         std::uint64_t length, std::uint64_t block_size) {
  if (first >= end || length == 0) return nullptr;
  const std::string folder = env.TempFolder();
  const std::uint64_t needed = static_cast<std::uint64_t>(end - first) * length;
  const std::optional<std::uint64_t> free = env.FreeBytesIn(folder);
  // The folder is the system's: what others keep there keeps some room too.
  if (folder.empty() || !free || *free < needed || *free - needed < kLeftFree) {
    return nullptr;
  }
  std::unique_ptr<File> file = env.CreateScratchFile(folder);
  if (!file) return nullptr;
  return std::unique_ptr<KeptRows>(
      new KeptRows(std::move(file), first, end, length, block_size));
}

KeptRows::KeptRows(std::unique_ptr<File> file, int first, int end, std::uint64_t length,
                   std::uint64_t block_size)
    : file_(std::move(file)),
      first_(first),
      end_(end),
      length_(length),
      block_size_(block_size),
      rows_(static_cast<std::size_t>(end - first), Row(block_size)) {}

const KeptRows::Row* KeptRows::Find(int row) const {
  if (row < first_ || row >= end_) return nullptr;
  return &rows_[static_cast<std::size_t>(row - first_)];
}

bool KeptRows::Has(int row) const {
  const Row* found = Find(row);
  return found && found->state == Row::kKept;
}

void KeptRows::Start(int row) {
  if (!Find(row)) return;
  Row& kept = At(row);
  kept = Row(block_size_);
  kept.state = Row::kFilling;
}

// Each chunk has its own place in the file, so a chunk kept again after a
// failed pass writes over its own bytes only.
void KeptRows::Put(int row, const unsigned char* bytes, std::size_t size) {
  if (!Find(row) || At(row).state != Row::kFilling) return;
  Row& kept = At(row);
  if (kept.filled + size > length_ || !file_->Seek(PlaceOf(row) + kept.filled) ||
      !file_->Write(reinterpret_cast<const char*>(bytes), size)) {
    kept.state = Row::kEmpty;
    return;
  }
  kept.sums.Add(bytes, size);
  kept.filled += size;
}

void KeptRows::Finish(int row) {
  if (!Find(row)) return;
  Row& kept = At(row);
  if (kept.state != Row::kFilling || kept.filled != length_ || !file_->Flush()) {
    kept.state = Row::kEmpty;
    return;
  }
  kept.sums.Finish();
  kept.state = Row::kKept;
}

File* KeptRows::Reader(int row) {
  if (!Has(row)) return nullptr;
  return file_->Seek(PlaceOf(row)) ? file_.get() : nullptr;
}

const std::vector<std::uint64_t>& KeptRows::Sums(int row) const {
  static const std::vector<std::uint64_t> kNone;
  const Row* found = Find(row);
  return found && found->state == Row::kKept ? found->sums.blocks() : kNone;
}

void KeptRows::Forget(int row) {
  if (Find(row)) At(row) = Row(block_size_);
}

}  // namespace slicery
