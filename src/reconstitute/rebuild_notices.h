// How the rebuild of a set with recovery disks names its disks (as the disk
// requests do) and counts their blocks in what it tells the user.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "operation/disk_request.h"

namespace slicery {

// "1 bad block", "3 bad blocks".
std::string BadBlocks(std::uint64_t count);
// "A", "A and B", "A, B and C".
std::string Listed(const std::vector<std::string>& names);

}  // namespace slicery
