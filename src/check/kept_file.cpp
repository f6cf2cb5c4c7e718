#include "check/kept_file.h"

#include <algorithm>
#include <vector>

#include "recovery/checksum.h"
#include "ui/dialog.h"

namespace slicery {
namespace {

constexpr std::size_t kReadSize = 1024 * 1024;

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

void KeptFile::Keep(std::uint64_t offset, const char* bytes, std::size_t size) {
  if (failed_) return;
  failed_ = !file_->Seek(offset) || !file_->Write(bytes, size);
}

bool KeptFile::RoomForRecoveryBlocks(Context& ctx, const StripeRepair& repair) {
  if (failed_) return false;
  if (repair.slots() == 0) return true;
  if (FolderHasRoom(ctx, folder_, repair.ScratchBytes())) {
    recovery_blocks_ = ctx.env.CreateScratchFile(folder_);
    if (recovery_blocks_) return true;
  }
  failed_ = told_ = true;
  return false;
}

void KeptFile::KeepRecoveryBlock(StripeRepair& repair, std::size_t slot, int index,
                                 const char* bytes, std::size_t size,
                                 std::uint64_t block_size) {
  if (failed_ || !recovery_blocks_) return;
  std::vector<char> block(bytes, bytes + size);
  block.resize(static_cast<std::size_t>(block_size), '\0');
  if (!recovery_blocks_->Seek(repair.ScratchOffset(slot, index)) ||
      !recovery_blocks_->Write(block.data(), block.size())) {
    failed_ = true;
    return;
  }
  repair.Have(slot, index);
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

std::vector<std::int32_t> KeptFile::Repair(const StripeRepair& repair) {
  if (failed_ || repair.slots() == 0) return {};
  if (!recovery_blocks_ || !file_->Flush() || !recovery_blocks_->Flush()) {
    failed_ = true;
    return {};
  }
  return repair.Rebuild(*file_, *file_, *recovery_blocks_, 0, &failed_);
}

std::optional<RecoveryPlan> KeptFile::Plan(const CheckedSet& set) {
  RecoveryPlan plan{set.recorded_path,
                    set.set_id,
                    set.recovery_disks,
                    set.block_size,
                    set.file_length,
                    {},
                    {}};
  StreamChecksum whole(StreamChecksum::k128);
  std::vector<char> buffer(kReadSize);
  failed_ = failed_ || !file_->Flush() || !file_->Seek(0);
  if (failed_) return std::nullopt;
  for (const CheckedDisk& disk : set.data) {
    BlockSums sums(set.block_size, false);
    for (std::uint64_t done = 0; done < disk.blocks.length;) {
      const std::size_t wanted = static_cast<std::size_t>(
          std::min<std::uint64_t>(buffer.size(), disk.blocks.length - done));
      bool read_failed = false;
      if (file_->Read(buffer.data(), wanted, &read_failed) != wanted || read_failed) {
        failed_ = true;
        return std::nullopt;
      }
      sums.Add(buffer.data(), wanted);
      whole.Add(buffer.data(), wanted);
      done += wanted;
    }
    sums.Finish();
    plan.chunks.push_back({disk.blocks.offset, disk.blocks.length, sums.chunk()});
  }
  plan.file_checksum = whole.Digest128();
  return plan;
}

}  // namespace slicery
