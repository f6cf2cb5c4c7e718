// One phase of the real program, driven through its console: a split of a
// file onto blank volumes, or a rebuild of it from those volumes. Each phase
// runs in its own process, whose peak resident set and CPU times the driver
// learns when it waits for its exit.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "bench/usage.h"
#include "e2e/drive.h"

namespace slicery::bench {

struct ProgramSetup {
  std::string program;  // slicery
  std::uint64_t volume_size = 0;
  std::chrono::milliseconds timeout{600000};
};

struct Phase {
  // From sending the answer that starts the copy to "Operation complete!",
  // with every volume request answered on the way.
  double seconds = 0;
  int volumes = 0;
  ChildUsage usage;
  // The console showed the read-back of a volume ("Checking [").
  bool read_back_shown = false;
};

// Splits `source` (an absolute path) onto blank disks "1", "2", ... of `drive`;
// with the read-back of every volume, or with SLICERY_NO_VERIFY=1 when
// `read_back` is false.
std::optional<Phase> RunSplit(const ProgramSetup& setup, e2e::Drive& drive,
                              const std::string& source, bool read_back,
                              std::string* error);

// Rebuilds the set on disks "1".."volumes" of `drive` at `target`, typed as a
// new location; `recorded` is the source path the set records.
std::optional<Phase> RunReconstitute(const ProgramSetup& setup, e2e::Drive& drive,
                                     int volumes, const std::string& recorded,
                                     const std::string& target, std::string* error);

}  // namespace slicery::bench
