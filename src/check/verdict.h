// What a check concludes of a set, in one message, and the program's exit
// status with it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "check/checked_set.h"

namespace slicery {

// The exit statuses of a check (2 is a bad command line's).
inline constexpr int kSetWhole = 0;
inline constexpr int kSetRepairable = 1;
inline constexpr int kSetLost = 3;
// The check ended before its verdict: cancelled, or its input ended.
inline constexpr int kCheckUnfinished = 4;

struct Verdict {
  int status = kSetWhole;
  std::string text;
};

// Whether the file of a set with recovery disks can be rebuilt from what was
// read: no stripe has more bad blocks than the set has recovery disks.
bool StripesRepairable(const CheckedSet& set);

// The verdict on `set` as read. `repair_lost`, when given, names the data
// disks whose blocks a rebuild of the kept file could not bring back (or
// that did not match the set's checksums), which settles it.
Verdict JudgeSet(
    const CheckedSet& set,
    const std::optional<std::vector<std::int32_t>>& repair_lost = std::nullopt);

}  // namespace slicery
