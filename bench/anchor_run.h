// The yardsticks: standard tools copying the same bytes between the same
// places. /bin/cat for a plain copy; cp, then sync of the copy, then cmp of it
// against the source, for a copy that is checked once it is on the medium.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bench/usage.h"

namespace slicery::bench {

struct AnchorRun {
  double seconds = 0;  // from the first tool's start to the last one's exit
  ChildUsage usage;    // all the tools' together
};

// Runs /bin/cat on `inputs` with its standard output in `output`, created or
// truncated. Empty, with the reason in *error, unless cat ends with status 0.
std::optional<AnchorRun> RunCat(const std::vector<std::string>& inputs,
                                const std::string& output, std::string* error);

// Runs `cp source copy`, `sync copy` and `cmp source copy` one after the
// other. Empty, with the reason in *error, unless each ends with status 0 (so
// a copy that differs fails).
std::optional<AnchorRun> RunCopySyncCompare(const std::string& source,
                                            const std::string& copy, std::string* error);

}  // namespace slicery::bench
