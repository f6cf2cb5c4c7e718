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

// Host-specific: makes the bytes of a flushed stream from offset `from` up to
// `to` reach the medium, without the file's metadata where the host allows.
bool SyncStdioStreamData(std::FILE* stream, std::uint64_t from, std::uint64_t to);

// Host-specific: moves a stream to a 64-bit byte offset from the start.
bool SeekStdioStream(std::FILE* stream, std::uint64_t offset);

// Host-specific: the descriptor of an open stream.
int StdioStreamDescriptor(std::FILE* stream);

// Host-specific: which file an open stream reads or writes.
std::optional<FileIdentity> IdentifyStdioStream(std::FILE* stream);

// A File over a stream opened in binary mode, which it owns from now on.
std::unique_ptr<File> AdoptStdioStream(std::FILE* stream);

// Host-specific: the stream's byte offset from the start.
std::optional<std::uint64_t> TellStdioStream(std::FILE* stream);

// Host-specific: cuts the file of a flushed stream to `length` bytes.
bool TruncateStdioStream(std::FILE* stream, std::uint64_t length);

// Host-specific: whether the call that just failed found the medium full.
bool LastErrorIsNoSpace();

}  // namespace slicery
