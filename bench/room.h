// Whether the working folder can hold a run: the source, the volumes and the
// rebuilt file (or cat's copy) at once. On tmpfs every byte is memory, so
// there the memory available counts too.
#pragma once

#include <cstdint>
#include <string>

namespace slicery::bench {

// The most bytes a run holds at once for a file of `file_size` bytes.
std::uint64_t BytesNeeded(std::uint64_t file_size, bool sparse);

// False, with the reason in *error, when `dir` or the memory behind it has
// less room than `bytes` plus a margin.
bool CheckRoom(const std::string& dir, std::uint64_t bytes, std::string* error);

// The type of the file system that holds `dir` ("tmpfs", "ext4"), from the
// mount table; "unknown" when it cannot be told.
std::string FileSystemOf(const std::string& dir);

}  // namespace slicery::bench
