// How the rebuild of a set with recovery disks names its disks and counts
// their blocks in what it tells the user.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace slicery {

// "Disk #3" for data disk index 2.
std::string DiskName(std::int32_t index);
// "recovery disk #1" for recovery disk index 0.
std::string RecoveryDiskName(int index);
// "1 bad block", "3 bad blocks".
std::string BadBlocks(std::uint64_t count);
// "A", "A and B", "A, B and C".
std::string Listed(const std::vector<std::string>& names);

}  // namespace slicery
