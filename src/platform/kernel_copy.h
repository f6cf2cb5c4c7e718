// Copies between two open files inside the operating system, where the host
// offers it: the bytes never pass through the program.
#pragma once

#include <cstddef>
#include <optional>

#include "platform/file.h"

namespace slicery {

// How two files can be copied inside the kernel, as far as one copy between
// them has found out. A copy starts at kUntried and keeps its own, so that a
// way the host declines is met once per copy, not at every call.
enum class KernelCopyWay {
  kUntried,
  kFileToFile,  // a copy between two files that both allow it
  kFileToAny,   // a copy from a regular file to any file, across file systems
  kRefused,     // through the program's buffer only
};

struct KernelCopyResult {
  // Bytes copied, fewer than asked near the end of the source and 0 at its
  // end; empty when the host does not copy this way between these two files,
  // or the copy failed. The caller then moves the bytes itself, so that its
  // own reads and writes say which side failed.
  std::optional<std::size_t> bytes;
  // A file that could not be moved past the bytes copied: where its next read
  // or write would go is not known until it is moved again.
  bool source_astray = false;
  bool destination_astray = false;
};

// Copies up to `size` bytes from `from` at its position to `to` at its
// position, then moves both files past them. Updates `*way`.
KernelCopyResult CopyInKernel(File& from, File& to, std::size_t size, KernelCopyWay* way);

}  // namespace slicery
