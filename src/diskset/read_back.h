// Reads a chunk back from its medium and compares it with the source.
#pragma once

#include <cstddef>
#include <cstdint>

#include "diskset/block_copy.h"
#include "platform/file.h"
#include "ui/progress_meter.h"

namespace slicery {

enum class ChunkComparison {
  kEqual,         // the medium holds exactly the source's bytes
  kDiffers,       // other bytes, fewer or more of them, or a read error on the medium
  kSourceFailed,  // the source could not be read again
};

// Compares `medium`, from its start, with the next `length` bytes of
// `source`, and expects the medium to end there. Draws a dot, shown at once,
// each time another 25th of the chunk has been read back. A `watcher`, when
// given, sees the source's bytes that compared equal.
ChunkComparison CompareChunk(File& medium, File& source, std::uint64_t length,
                             ProgressMeter& meter, ChunkWatcher* watcher = nullptr);

}  // namespace slicery
