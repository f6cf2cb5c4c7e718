// Hosts without an in-kernel copy between two files (Windows among them): every
// copy goes through the program's own buffer.
#include "platform/kernel_copy.h"

namespace slicery {

KernelCopyResult CopyInKernel(File&, File&, std::size_t, KernelCopyWay* way) {
  *way = KernelCopyWay::kRefused;
  return KernelCopyResult{};
}

}  // namespace slicery
