#include "menu/host_context.h"

#include <iostream>

#include "platform/host_constants.h"

namespace slicery {

std::unique_ptr<HostContext> HostContext::Open(const VolumeOverrides& volume,
                                               bool read_back, int recovery_disks,
                                               bool keep_split_journal,
                                               int end_of_input_status) {
  auto host = std::make_unique<HostContext>();
  host->env_ = NewHostEnv(std::cerr, volume);
  if (!host->env_) return nullptr;
  host->screen_ = NewHostScreen(std::cin, std::cout, end_of_input_status);
  // Typed paths are upper-cased only where the host's file system wants it.
  host->context_.emplace(
      Context{{*host->screen_, std::cin, std::cout, kUpperCaseTypedPaths}, *host->env_});
  host->context_->read_back_volumes = read_back;
  host->context_->recovery_disks = recovery_disks;
  host->context_->keep_split_journal = keep_split_journal;
  return host;
}

}  // namespace slicery
