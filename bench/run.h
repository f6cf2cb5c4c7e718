// One run of the benchmark: slicery's split with the read-back of every
// volume beside cp, sync and cmp of the same bytes; its split without the
// read-back and its rebuild, each beside cat copying the same bytes between the
// same places; and the checks of the volumes and of the rebuilt file.
#pragma once

#include <optional>
#include <string>

#include "bench/anchor_run.h"
#include "bench/conversation.h"
#include "bench/options.h"
#include "bench/workspace.h"

namespace slicery::bench {

struct RunFigures {
  Phase verified_split;   // with the read-back, as by default
  Phase split;            // SLICERY_NO_VERIFY=1
  Phase rebuild;          // of the verified split's set
  AnchorRun cp_sync_cmp;  // the source into a file in the volume folder, checked
  AnchorRun cat_split;    // the source into a file in the volume folder
  AnchorRun cat_rebuild;  // the volumes' data files into a file beside the target
};

// Runs number `index` (from 0) on the source at workspace.Work("source.bin").
// Odd runs time each tool before slicery, even runs after, so that neither
// always comes first. Empty, with the reason in *error, on any failure or
// difference.
std::optional<RunFigures> RunOnce(const Options& options, const ProgramSetup& setup,
                                  Workspace& workspace, int index, std::string* error);

}  // namespace slicery::bench
