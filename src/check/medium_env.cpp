#include "check/medium_env.h"

namespace slicery {

std::unique_ptr<File> MediumEnv::Open(const std::string& path, FileMode mode) {
  // Records are read in binary: their readers take CR LF as well as LF.
  if (mode == FileMode::kReadText || mode == FileMode::kReadBinary) {
    return host_.OpenFromMedium(path);
  }
  return host_.Open(path, mode);
}

}  // namespace slicery
