// POSIX hosts other than Linux: a file's data goes to the medium without the
// records that only its lookup needs, through fdatasync; the range is the
// whole file's.
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/stdio_file.h"

namespace slicery {

bool SyncStdioStreamData(std::FILE* stream, std::uint64_t, std::uint64_t) {
  if (fdatasync(fileno(stream)) == 0) return true;
  // A file that cannot be synced at all (a character device) counts as synced.
  return errno == EINVAL || errno == ENOTSUP;
}

}  // namespace slicery
