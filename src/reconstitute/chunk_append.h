// Appends one volume's data file to the rebuilt file, in blocks, with the
// effect of a one-byte-at-a-time copy: every byte of the data file, and a dot,
// a console flush and a target flush after every (chunk length / 25) bytes.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "platform/host.h"
#include "ui/console.h"

namespace slicery {

inline constexpr std::size_t kReconstituteBufferSize = 256 * 1024;

enum class AppendStatus { kAppended, kReadFailed, kWriteFailed };

struct ChunkAppend {
  AppendStatus status = AppendStatus::kAppended;
  std::uint64_t total = 0;  // bytes appended from this data file
};

// `chunk_length` is the record's figure; it paces the dots and nothing else.
ChunkAppend AppendChunk(File& data, File& target, std::int32_t chunk_length,
                        ProgressMeter& meter, std::ostream& console);

}  // namespace slicery
