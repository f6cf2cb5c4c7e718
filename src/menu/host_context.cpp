#include "menu/host_context.h"

#include <iostream>

namespace slicery {

std::unique_ptr<HostContext> HostContext::Open(const VolumeOverrides& volume,
                                               bool read_back) {
  auto host = std::make_unique<HostContext>();
  host->env_ = NewHostEnv(std::cerr, volume);
  if (!host->env_) return nullptr;
  host->screen_ = NewHostScreen(std::cin, std::cout);
  host->context_.emplace(Context{*host->screen_, *host->env_, std::cin, std::cout});
  host->context_->read_back_volumes = read_back;
  return host;
}

}  // namespace slicery
