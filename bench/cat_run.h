// The yardstick: /bin/cat copying the same bytes between the same places.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bench/usage.h"

namespace slicery::bench {

struct CatRun {
  double seconds = 0;  // from opening the output to cat's exit
  ChildUsage usage;
};

// Runs /bin/cat on `inputs` with its standard output in `output`, created or
// truncated. Empty, with the reason in *error, unless cat ends with status 0.
std::optional<CatRun> RunCat(const std::vector<std::string>& inputs,
                             const std::string& output, std::string* error);

}  // namespace slicery::bench
