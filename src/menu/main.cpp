// Slicery: breaks one file onto removable volumes and joins them back.
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "check/check_operation.h"
#include "check/verdict.h"
#include "menu/command_line.h"
#include "menu/host_context.h"
#include "menu/menu_loop.h"

int main(int argc, char** argv) {
  using slicery::CommandLine;
  const CommandLine line =
      slicery::ParseCommandLine(std::vector<std::string>(argv + (argc > 0), argv + argc));
  switch (line.action) {
    case CommandLine::Action::kHelp:
      std::cout << slicery::kUsageText << std::flush;
      return std::cout ? 0 : 1;
    case CommandLine::Action::kVersion:
      std::cout << slicery::kVersionLine << std::flush;
      return std::cout ? 0 : 1;
    case CommandLine::Action::kUsageError:
      std::cerr << slicery::UsageHint(line.error) << std::flush;
      return 2;
    case CommandLine::Action::kRun:
      break;
  }
  const bool read_back = slicery::ReadBackVolumes(line, std::getenv("SLICERY_NO_VERIFY"));
  if (line.check) {
    // A check that ends before its verdict must not pass for a whole set.
    std::unique_ptr<slicery::HostContext> host = slicery::HostContext::Open(
        line.volume, read_back, 0, false, slicery::kCheckUnfinished);
    if (!host) return 2;
    return slicery::RunCheckOperation(host->context());
  }
  std::string recovery_error;
  const std::optional<int> recovery =
      slicery::RecoveryDisks(line, std::getenv("SLICERY_RECOVERY"), &recovery_error);
  if (!recovery) {
    std::cerr << recovery_error << std::flush;
    return 2;
  }
  // A host that cannot be used as configured (a bad volume size, say) has
  // already said why on standard error; that is the one exit status but 0.
  std::unique_ptr<slicery::HostContext> host = slicery::HostContext::Open(
      line.volume, read_back, *recovery,
      slicery::KeepSplitJournal(line, std::getenv("SLICERY_NO_RESUME")));
  if (!host) return 2;
  return slicery::RunMenuLoop(host->context());
}
