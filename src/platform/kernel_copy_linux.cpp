// In-kernel copies between two files on Linux: copy_file_range where both
// files allow it (one copy of each byte, or none where the file system shares
// its blocks), else sendfile, which copies from a regular file to any file,
// across file systems too (a FAT stick mounted beside an ext4 home).
#include <sys/sendfile.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "platform/kernel_copy.h"

namespace slicery {
namespace {

// Errors with which the kernel or a file system declines a way of copying
// between two files, as opposed to failing while it copies.
bool Declined(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
         error == EBADF || error == EPERM || error == ETXTBSY;
}

// One call of `way`: reads the source at *in, which it advances, and writes
// the destination at `out`. The bytes copied, or -1 with errno set.
ssize_t CopyOnce(KernelCopyWay way, int from, off_t* in, int to, off_t out,
                 std::size_t size) {
  ssize_t copied;
  do {
    if (way == KernelCopyWay::kFileToFile) {
      off_t out_at = out;
      copied = copy_file_range(from, in, to, &out_at, size, 0);
    } else {
      // sendfile writes at the destination's file position, which is the
      // file's own position: a binary file keeps no buffer of its own.
      copied = sendfile(to, from, in, size);
    }
  } while (copied < 0 && errno == EINTR);
  return copied;
}

// The bytes copied by the way the pair allows, trying the next way where one
// is declined the first time; -1 when none copies.
ssize_t CopyByTheWayAllowed(int from, off_t in, int to, off_t out, std::size_t size,
                            KernelCopyWay* way) {
  const bool untried = *way == KernelCopyWay::kUntried;
  if (untried) *way = KernelCopyWay::kFileToFile;
  off_t at = in;
  ssize_t copied = CopyOnce(*way, from, &at, to, out, size);
  if (copied < 0 && untried && Declined(errno)) {
    *way = KernelCopyWay::kFileToAny;
    at = in;
    copied = CopyOnce(*way, from, &at, to, out, size);
  }
  if (copied < 0) *way = KernelCopyWay::kRefused;
  return copied;
}

std::optional<off_t> AsOffset(std::optional<std::uint64_t> position) {
  if (!position || *position > std::uint64_t{std::numeric_limits<off_t>::max()}) {
    return std::nullopt;
  }
  return static_cast<off_t>(*position);
}

}  // namespace

KernelCopyResult CopyInKernel(File& from, File& to, std::size_t size,
                              KernelCopyWay* way) {
  KernelCopyResult result;
  if (*way == KernelCopyWay::kRefused) return result;
  const std::optional<int> from_fd = from.Descriptor();
  const std::optional<int> to_fd = to.Descriptor();
  if (!from_fd || !to_fd) {
    *way = KernelCopyWay::kRefused;
    return result;
  }
  // Both positions as the files see them; the destination's buffered bytes
  // (none, for a binary file) go out first.
  const std::optional<off_t> in = to.Flush() ? AsOffset(from.Position()) : std::nullopt;
  const std::optional<off_t> out = in ? AsOffset(to.Position()) : std::nullopt;
  if (!out) {
    *way = KernelCopyWay::kRefused;
    return result;
  }
  const ssize_t copied = CopyByTheWayAllowed(*from_fd, *in, *to_fd, *out, size, way);
  // Both files past what was copied (or back where they were), which also
  // tells the runtime where the kernel left their descriptors.
  const std::uint64_t moved = copied > 0 ? static_cast<std::uint64_t>(copied) : 0;
  result.source_astray = !from.Seek(static_cast<std::uint64_t>(*in) + moved);
  result.destination_astray = !to.Seek(static_cast<std::uint64_t>(*out) + moved);
  if (copied >= 0) result.bytes = static_cast<std::size_t>(copied);
  return result;
}

}  // namespace slicery
