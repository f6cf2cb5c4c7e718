// Files over the runtime's buffered streams, shared by both hosts. The calls
// at the bottom are what differs between them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/file.h"

namespace slicery {

// Null when the runtime cannot open `path` in `mode`.
std::unique_ptr<File> OpenStdioFile(const std::string& path, FileMode mode);

// Host-specific: makes the bytes of a flushed stream reach the medium.
bool SyncStdioStream(std::FILE* stream);

// Host-specific: moves a stream to a 64-bit byte offset from the start.
bool SeekStdioStream(std::FILE* stream, std::uint64_t offset);

// How two files can be copied inside the kernel, as far as a copy between them
// has found out. The destination keeps it for its current source, so that a
// refusal is met once per pair of files, not at every call.
enum class KernelCopy {
  kUntried,
  kFileToFile,  // a copy between two files that both allow it
  kFileToAny,   // a copy from a regular file to any file, across file systems
  kRefused,     // through the program's buffer only
};

// What an in-kernel copy between two streams did.
struct StreamCopy {
  std::optional<std::size_t> bytes;  // copied; empty when refused or failed
  // A stream that could not be moved past the bytes copied: where its next
  // read or write would go is not known.
  bool source_astray = false;
  bool destination_astray = false;
};

// Host-specific: copies up to `size` bytes from `from` at its position to `to`
// at its position inside the kernel, then moves both streams past them.
// Updates `*way`, which starts as kUntried for a new pair of streams.
StreamCopy CopyStdioStreams(std::FILE* from, std::FILE* to, std::size_t size,
                            KernelCopy* way);

// Host-specific: the stream's byte offset from the start.
std::optional<std::uint64_t> TellStdioStream(std::FILE* stream);

// Host-specific: cuts the file of a flushed stream to `length` bytes.
bool TruncateStdioStream(std::FILE* stream, std::uint64_t length);

// Host-specific: whether the call that just failed found the medium full.
bool LastErrorIsNoSpace();

}  // namespace slicery
