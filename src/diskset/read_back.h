// Reads a chunk back from its medium and compares it with the source.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/file.h"
#include "ui/progress_meter.h"

namespace slicery {

enum class ChunkComparison {
  kEqual,         // the medium holds exactly the source's bytes
  kDiffers,       // other bytes, fewer or more of them, or a read error on the medium
  kSourceFailed,  // the source could not be read again
};

// Sees the source's bytes of a chunk as its read-back compares them, so that
// what they go on to (a checksum) costs no pass of its own.
class ChunkWatcher {
 public:
  virtual ~ChunkWatcher() = default;
  virtual void Start() = 0;  // a read-back begins at the chunk's first byte
  virtual void Bytes(const char* bytes, std::size_t size) = 0;  // the next ones
};

// Compares `medium`, from its start, with the next `length` bytes of
// `source`, and expects the medium to end there. Draws a dot, shown at once,
// each time another 25th of the chunk has been read back. A `watcher`, when
// given, sees the source's bytes that compared equal.
ChunkComparison CompareChunk(File& medium, File& source, std::uint64_t length,
                             ProgressMeter& meter, ChunkWatcher* watcher = nullptr);

}  // namespace slicery
