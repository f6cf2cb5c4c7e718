#include "check/kept_file.h"

#include <algorithm>
#include <vector>

#include "recovery/file_checksums.h"
#include "ui/dialog.h"

namespace slicery {
namespace {

// Whether the temporary folder has `needed` bytes free; if not, the user is
// told how many are needed and where, and that the check goes on without
// offering new copies.
bool FolderHasRoom(Context& ctx, const std::string& folder, std::uint64_t needed) {
  const std::optional<std::uint64_t> free = ctx.env.FreeBytesIn(folder);
  if (free && *free >= needed) return true;
  const std::string where = folder.empty() ? "the temporary folder" : folder;
  ShowDialog(ctx,
             "New copies of damaged disks need " + std::to_string(needed) +
                 " bytes kept in " + where + " while the set is checked, and " +
                 (free ? "it has " + std::to_string(*free) + " bytes free."
                       : "its free space cannot be told.") +
                 "\nThe set will be checked without offering new copies.",
             "Slicery", Buttons::kOk, Icon::kWarning);
  return false;
}

}  // namespace

std::unique_ptr<KeptFile> KeptFile::Start(Context& ctx, std::uint64_t length) {
  const std::string folder = ctx.env.TempFolder();
  if (!FolderHasRoom(ctx, folder, length)) return nullptr;
  std::unique_ptr<File> file = ctx.env.CreateScratchFile(folder);
  std::unique_ptr<KeptFile> kept(new KeptFile(folder, std::move(file)));
  if (!kept->file_) {
    kept->failed_ = true;
    kept->TellIfFailed(ctx);
    return nullptr;
  }
  return kept;
}

void KeptFile::Keep(std::uint64_t offset, std::string_view bytes) {
  if (failed_) return;
  failed_ = !file_->Seek(offset) || !file_->Write(bytes.data(), bytes.size());
}

bool KeptFile::RoomForRecoveryBlocks(Context& ctx, std::size_t stripes,
                                     int recovery_disks, std::uint64_t block_size) {
  if (failed_) return false;
  if (stripes == 0) return true;
  if (FolderHasRoom(ctx, folder_, stripes * recovery_disks * block_size)) {
    std::unique_ptr<File> scratch = ctx.env.CreateScratchFile(folder_);
    if (scratch) recovery_blocks_.emplace(ctx.env, std::move(scratch), block_size);
    if (recovery_blocks_) return true;
  }
  failed_ = told_ = true;
  return false;
}

void KeptFile::KeepRecoveryBlock(std::uint64_t block, int index, std::string_view bytes) {
  if (failed_ || !recovery_blocks_) return;
  failed_ = !recovery_blocks_->Put(block, index, bytes);
}

void KeptFile::TellIfFailed(Context& ctx) {
  if (!failed_ || told_) return;
  told_ = true;
  ShowDialog(ctx,
             "Error: Slicery was unable to keep what new copies of damaged disks need "
             "in " +
                 (folder_.empty() ? std::string("the temporary folder") : folder_) +
                 ".\nThe set will be checked without offering new copies.",
             "Slicery", Buttons::kOk, Icon::kWarning);
}

std::vector<std::int32_t> KeptFile::Repair(const StripeRepair& repair,
                                           const std::vector<DamagedStripe>& stripes) {
  if (failed_ || stripes.empty()) return {};
  failed_ = !file_->Flush();
  if (failed_) return {};
  RecoveryBlockStore* store = recovery_blocks_ ? &*recovery_blocks_ : nullptr;
  const StripeLoss loss = repair.Rebuild(stripes, store, *file_, file_.get(), false);
  failed_ = loss.target_failed;
  return loss.disks;
}

std::optional<RecoveryPlan> KeptFile::Plan(const CheckedSet& set) {
  std::vector<std::uint64_t> lengths;
  for (const CheckedDisk& disk : set.data) lengths.push_back(disk.blocks.length);
  const std::optional<SetChecksums> sums =
      failed_ || !file_->Flush() ? std::nullopt
                                 : ChecksumChunks(*file_, lengths, set.block_size);
  failed_ = !sums;
  if (!sums) return std::nullopt;
  RecoveryPlan plan{
      set.recorded_path, set.set_id, set.recovery_disks, set.block_size, set.file_length,
      sums->file,        {}};
  for (std::size_t i = 0; i < set.data.size(); ++i) {
    plan.chunks.push_back(
        {set.data[i].blocks.offset, set.data[i].blocks.length, sums->chunks[i]});
  }
  return plan;
}

}  // namespace slicery
