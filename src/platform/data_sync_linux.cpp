// Linux: a range of a file's data goes to the medium on its own. The file's
// size and where its blocks lie (on FAT, its allocation table and directory
// entry near the start of the disk) wait for the file's full sync, so a copy
// that syncs at every progress dot does not send the drive back to them each
// time.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>

#include "platform/stdio_file.h"

namespace slicery {

bool SyncStdioStreamData(std::FILE* stream, std::uint64_t from, std::uint64_t to) {
  const std::uint64_t most = std::numeric_limits<off64_t>::max();
  if (from >= to) return true;
  if (to > most) return SyncStdioStream(stream);
  constexpr unsigned int kWriteAndWait =
      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
  if (sync_file_range(fileno(stream), static_cast<off64_t>(from),
                      static_cast<off64_t>(to - from), kWriteAndWait) == 0) {
    return true;
  }
  // Not a file whose ranges can be synced (a pipe, a device, a file system
  // that refuses): the whole file, by the full sync's own rule.
  if (errno == EINVAL || errno == ESPIPE || errno == ENOSYS)
    return SyncStdioStream(stream);
  return false;
}

}  // namespace slicery
