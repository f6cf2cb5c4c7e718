// What a check keeps on the computer so that new copies of a set's damaged
// disks can be written without reading any disk a second time: the file
// itself, made of the good blocks of the data disks, and beside it the
// recovery blocks of the stripes that have bad data blocks. Both are scratch
// files in the system's temporary folder, which go away when the check ends,
// however it ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/checked_set.h"
#include "operation/context.h"
#include "platform/file.h"
#include "recovery/recovery_block_store.h"
#include "recovery/recovery_writer.h"
#include "recovery/stripe_repair.h"

namespace slicery {

class KeptFile {
 public:
  // Keeps a file of `length` bytes where the temporary folder has room for
  // it. Otherwise the user is told how many bytes it would take and where,
  // and that no new copies will be offered; nothing is kept.
  static std::unique_ptr<KeptFile> Start(Context& ctx, std::uint64_t length);

  // Keeps good bytes of the file at `offset`. Once a write has failed nothing
  // more is kept, and what was can no longer be trusted.
  void Keep(std::uint64_t offset, std::string_view bytes);
  // Makes room for the recovery blocks of `stripes` damaged stripes of a set
  // with `recovery_disks` recovery disks; without it the user is told, as at
  // the start, and nothing more is kept.
  bool RoomForRecoveryBlocks(Context& ctx, std::size_t stripes, int recovery_disks,
                             std::uint64_t block_size);
  // Keeps block `block` of recovery disk `index`, which is good.
  void KeepRecoveryBlock(std::uint64_t block, int index, std::string_view bytes);
  // Whether everything meant to be kept was.
  bool intact() const { return !failed_; }
  // Tells the user, once, that keeping failed.
  void TellIfFailed(Context& ctx);

  // Rebuilds `stripes` in the kept file, as `repair` does. The data disks whose
  // blocks stay lost. A kept file that fails is no longer intact.
  std::vector<std::int32_t> Repair(const StripeRepair& repair,
                                   const std::vector<DamagedStripe>& stripes);

  // What the recovery disks of the set are made from, computed from the kept
  // file: every chunk's checksum and the file's. Empty (and the kept file no
  // longer intact) when it does not read.
  std::optional<RecoveryPlan> Plan(const CheckedSet& set);

  // The kept file, for the new copies to be written from.
  File& file() { return *file_; }

 private:
  KeptFile(std::string folder, std::unique_ptr<File> file)
      : folder_(std::move(folder)), file_(std::move(file)) {}

  std::string folder_;
  std::unique_ptr<File> file_;
  std::optional<RecoveryBlockStore> recovery_blocks_;
  bool failed_ = false;
  bool told_ = false;
};

}  // namespace slicery
