#include "recovery/recovery_block_store.h"

#include <algorithm>
#include <vector>

namespace slicery {
namespace {

// How many names the scratch file tries beside the file it serves.
constexpr int kScratchNames = 100;

}  // namespace

// Made only where nothing is yet: nothing of the user's is written over.
bool RecoveryBlockStore::Create() {
  for (int n = 0; !writer_ && !near_.empty() && n < kScratchNames; ++n) {
    path_ = near_ + ".recovery" + (n == 0 ? "" : std::to_string(n));
    writer_ = env_.CreateNew(path_, near_);
  }
  if (!writer_) path_.clear();
  return writer_ != nullptr;
}

bool RecoveryBlockStore::Put(std::uint64_t block, int disk, std::string_view bytes) {
  if (reading_ || (!writer_ && !Create())) return false;
  // Only a short block, the last of a chunk, needs zeros after its bytes.
  const std::size_t size =
      static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), block_size_));
  const std::vector<char> zeros(block_size_ - size, '\0');
  const std::uint64_t slot = slots_.size();
  if (!writer_->Seek(slot * block_size_) ||
      (size > 0 && !writer_->Write(bytes.data(), size)) ||
      (!zeros.empty() && !writer_->Write(zeros.data(), zeros.size()))) {
    return false;
  }
  slots_[{block, disk}] = slot;
  have_[block] |= static_cast<std::uint16_t>(1u << disk);
  return true;
}

std::uint16_t RecoveryBlockStore::Have(std::uint64_t block) const {
  const auto found = have_.find(block);
  return found == have_.end() ? 0 : found->second;
}

bool RecoveryBlockStore::Get(std::uint64_t block, int disk, std::uint64_t at,
                             std::size_t size, unsigned char* into) {
  if (!reading_) {
    reading_ = true;
    if (path_.empty()) {
      // A file made by the caller is read through the handle that wrote it.
      if (writer_ && writer_->Flush()) reader_ = std::move(writer_);
    } else {
      // A failed write left its block out; a failed close, any of them.
      const bool closed = writer_ && writer_->Close();
      writer_.reset();
      if (closed) reader_ = env_.Open(path_, FileMode::kReadBinary);
    }
    writer_.reset();
    if (!reader_) have_.clear();
  }
  const auto slot = slots_.find({block, disk});
  bool failed = false;
  return reader_ && slot != slots_.end() && at + size <= block_size_ &&
         reader_->Seek(slot->second * block_size_ + at) &&
         reader_->Read(reinterpret_cast<char*>(into), size, &failed) == size && !failed;
}

void RecoveryBlockStore::Remove() {
  if (writer_) writer_->Close();  // nothing of it is kept
  if (reader_) reader_->Close();  // read only
  writer_.reset();
  reader_.reset();
  if (!path_.empty()) env_.Remove(path_);
  path_.clear();
  slots_.clear();
  have_.clear();
}

}  // namespace slicery
