// One run of the benchmark: the split and the rebuild by slicery, each beside
// cat copying the same bytes between the same places, and the checks of the
// volumes and of the rebuilt file.
#pragma once

#include <optional>
#include <string>

#include "bench/cat_run.h"
#include "bench/conversation.h"
#include "bench/options.h"
#include "bench/workspace.h"

namespace slicery::bench {

struct RunFigures {
  Phase split, rebuild;
  CatRun cat_split;    // the source into a file in the volume folder
  CatRun cat_rebuild;  // the volumes' data files into a file beside the target
};

// Runs number `index` (from 0) on the source at workspace.Work("source.bin").
// Odd runs time cat before slicery, even runs after, so that neither always
// comes first. Empty, with the reason in *error, on any failure or difference.
std::optional<RunFigures> RunOnce(const Options& options, const ProgramSetup& setup,
                                  Workspace& workspace, int index, std::string* error);

}  // namespace slicery::bench
