// What the rebuild of a set with recovery disks tells the user of its disks:
// bad blocks and whether they can be rebuilt, what could not be checked, what
// was rebuilt, and what was lost.
#include "reconstitute/rebuild_notices.h"

#include "reconstitute/recovery_rebuild.h"
#include "ui/dialog.h"

namespace slicery {

std::string BadBlocks(std::uint64_t count) {
  return std::to_string(count) + (count == 1 ? " bad block" : " bad blocks");
}

std::string Listed(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  }
  return text;
}

// Whether every bad block of `disk`, one of disks_, lies in a stripe with no
// more bad blocks than the set has recovery disks, as far as is known yet.
bool RecoveryRebuild::CanRebuild(const DataDisk& disk) const {
  if (recovery_disks_ == 0) return true;  // not known yet
  if (!Coded()) return false;
  const std::uint64_t blocks = block_size_ == 0 ? 1 : BlocksIn(disk.length, block_size_);
  for (std::uint64_t j = 0; j < blocks; ++j) {
    if (disk.IsBad(j) && Stripes().BadIn(j) > recovery_disks_) return false;
  }
  return true;
}

void RecoveryRebuild::TellBadBlocks(std::int32_t index, const DataDisk& disk) {
  if (!disk.all_bad && disk.bad.empty()) return;
  std::string text = DiskName(index);
  if (disk.all_bad && disk.unchecked && record_) {
    text +=
        " does not match the checksum of its set, and its own checksums cannot be "
        "read: all of it counts as bad.";
  } else if (block_size_ == 0) {
    text +=
        " cannot be read whole, and no checksums of its set are known: all of it "
        "counts as bad.";
  } else {
    const std::uint64_t total = BlocksIn(disk.length, block_size_);
    text += " has " + BadBlocks(disk.all_bad ? total : disk.bad.size()) + " of " +
            std::to_string(total) + ".";
  }
  const bool one = !disk.all_bad && disk.bad.size() == 1;
  if (CanRebuild(disk)) {
    text += one ? "\nIt will be rebuilt from the recovery disks."
                : "\nThey will be rebuilt from the recovery disks.";
  } else {
    text += (one ? "\nIt cannot be rebuilt: " : "\nNot all of them can be rebuilt: ") +
            std::string(
                "at the same places other disks have bad blocks too, more than "
                "the set has recovery disks.");
  }
  ShowDialog(ctx_, text, "Slicery", Buttons::kOk, Icon::kWarning);
}

void RecoveryRebuild::TellUnchecked(std::int32_t index) {
  ShowDialog(ctx_,
             "The checksum file of " + DiskName(index) +
                 " cannot be read, so its data could not be checked.\nIt is used as it "
                 "stands.",
             "Slicery", Buttons::kOk, Icon::kWarning);
}

// One notice of all that was rebuilt, where anything was.
void RecoveryRebuild::TellRebuilt() {
  std::vector<std::string> parts;
  for (std::size_t i = 0; i < disks_.size(); ++i) {
    const DataDisk& disk = disks_[i];
    const std::string name = DiskName(static_cast<std::int32_t>(i));
    if (disk.all_bad) {
      parts.push_back("all of " + name);
    } else if (!disk.bad.empty()) {
      const std::size_t count = disk.bad.size();
      parts.push_back(std::to_string(count) +
                      (count == 1 ? " block of " : " blocks of ") + name);
    }
  }
  if (parts.empty()) return;
  ShowDialog(ctx_, "Rebuilt from the recovery disks: " + Listed(parts) + ".", "Slicery",
             Buttons::kOk, Icon::kNone);
}

std::string RecoveryRebuild::LossText(const Loss& loss) const {
  std::vector<std::string> names;
  for (const std::int32_t index : loss.disks) names.push_back(DiskName(index));
  return "Too much of this set is lost: the blocks of " + Listed(names) +
         " cannot be rebuilt.\n" + std::to_string(loss.bytes) +
         " bytes of the file are missing; the rest of it is in\n" + target_path_;
}

}  // namespace slicery
