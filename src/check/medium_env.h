// The environment of a check: the host's, except that every file opened for
// reading is read from its medium itself, as a split reads a volume back: not
// from the system's cache, and without storing an access time on the disk.
#pragma once

#include <memory>
#include <string>

#include "platform/forwarding_env.h"

namespace slicery {

class MediumEnv : public ForwardingEnv {
 public:
  using ForwardingEnv::ForwardingEnv;

  std::unique_ptr<File> Open(const std::string& path, FileMode mode) override;
};

}  // namespace slicery
