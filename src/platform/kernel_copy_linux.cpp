// In-kernel copies between two streams on Linux: copy_file_range where both
// files allow it (one copy of each byte, or none where the file system shares
// its blocks), else sendfile, which copies from a regular file to any file,
// across file systems too (a FAT stick mounted beside an ext4 home).
#include <sys/sendfile.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

#include "platform/stdio_file.h"

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
ssize_t CopyOnce(KernelCopy way, int from, off_t* in, int to, off_t out,
                 std::size_t size) {
  ssize_t copied;
  do {
    if (way == KernelCopy::kFileToFile) {
      off_t out_at = out;
      copied = copy_file_range(from, in, to, &out_at, size, 0);
    } else {
      // sendfile writes at the destination's file position, which the stream's
      // position is, the stream having no buffer of its own.
      copied = sendfile(to, from, in, size);
    }
  } while (copied < 0 && errno == EINTR);
  return copied;
}

// The bytes copied by the way the pair allows, trying the next way where one
// is declined the first time; -1 when none copies.
ssize_t CopyByTheWayAllowed(int from, off_t in, int to, off_t out, std::size_t size,
                            KernelCopy* way) {
  const bool untried = *way == KernelCopy::kUntried;
  if (untried) *way = KernelCopy::kFileToFile;
  off_t at = in;
  ssize_t copied = CopyOnce(*way, from, &at, to, out, size);
  if (copied < 0 && untried && Declined(errno)) {
    *way = KernelCopy::kFileToAny;
    at = in;
    copied = CopyOnce(*way, from, &at, to, out, size);
  }
  if (copied < 0) *way = KernelCopy::kRefused;
  return copied;
}

}  // namespace

StreamCopy CopyStdioStreams(std::FILE* from, std::FILE* to, std::size_t size,
                            KernelCopy* way) {
  StreamCopy result;
  if (*way == KernelCopy::kRefused) return result;
  // Both positions as the streams see them; the destination's buffered bytes
  // (none, for a binary stream) go out first.
  const off_t in = std::fflush(to) == 0 ? ftello(from) : -1;
  const off_t out = in >= 0 ? ftello(to) : -1;
  if (out < 0) {
    *way = KernelCopy::kRefused;
    return result;
  }
  const ssize_t copied =
      CopyByTheWayAllowed(fileno(from), in, fileno(to), out, size, way);
  // Set both streams past what was copied (or back where they were), which
  // also tells the runtime where the kernel left their descriptors.
  const off_t moved = copied > 0 ? copied : 0;
  result.source_astray = fseeko(from, in + moved, SEEK_SET) != 0;
  result.destination_astray = fseeko(to, out + moved, SEEK_SET) != 0;
  if (copied >= 0) result.bytes = static_cast<std::size_t>(copied);
  return result;
}

}  // namespace slicery
