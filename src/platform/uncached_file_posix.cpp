// POSIX: the pages of a synced file are clean, so dropping them from the cache
// makes the reads that follow go to the medium.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/stdio_file.h"
#include "platform/uncached_file.h"

namespace slicery {

std::unique_ptr<File> OpenUncachedFile(const std::string& path) {
  // Reading back leaves the medium as written: no access time is stored,
  // which on FAT would be one more write to its directory. Only the file's
  // owner may ask for that; anyone else reads it as usual.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  // Advice only: a file system that keeps no cache of its own (tmpfs, whose
  // pages are the medium) has nothing to drop, and its reads are the medium's.
  (void)posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  std::FILE* stream = fdopen(fd, "rb");
  if (stream == nullptr) {
    close(fd);
    return nullptr;
  }
  return AdoptStdioStream(stream);
}

}  // namespace slicery
