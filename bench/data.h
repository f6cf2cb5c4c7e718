// The benchmark's data: the source file, the chunk lengths a set must have,
// and the checks of the volumes and of the rebuilt file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "e2e/drive.h"

namespace slicery::bench {

// `size` random bytes (the same for every run of the benchmark).
bool MakeRandomSource(const std::string& path, std::uint64_t size, std::string* error);

// A sparse file of `size` bytes that reads as zeros but for random marker
// blocks at its start and end and across the 2^31 and 2^32 offsets, where a
// length or an offset held in 32 bits would go wrong.
bool MakeSparseSource(const std::string& path, std::uint64_t size, std::string* error);

// The chunk lengths of a set: blank volumes of `volume_size` bytes take
// min(volume_size - 600, 2^31 - 1) each, and the last volume takes the rest
// (none when the file ends on a volume boundary, but the volume is still used).
std::vector<std::uint64_t> ExpectedChunks(std::uint64_t file_size,
                                          std::uint64_t volume_size);

// Every disk "1".."n" holds a data file of the expected length.
bool CheckChunks(const e2e::Drive& drive, const std::vector<std::uint64_t>& chunks,
                 std::string* error);

// The rebuilt file holds the bytes of the source; compared in blocks.
bool CheckRebuilt(const std::string& source, const std::string& rebuilt,
                  std::string* error);

// Flips the first byte of a file.
bool FlipFirstByte(const std::string& path, std::string* error);

}  // namespace slicery::bench
