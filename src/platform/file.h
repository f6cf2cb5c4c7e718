// An open file, the modes it is opened in, and what a path names. Each host's
// environment opens files of this interface; tests supply fakes of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace slicery {

// How a file is opened: the runtime's "r", "rb", "w" and "wb".
enum class FileMode { kReadText, kReadBinary, kWriteText, kWriteBinary };

// An open file. Every call reports failure as its result; nothing throws.
class File {
 public:
  virtual ~File() = default;
  // Reads up to `size` bytes, stopping early only at the end of the file or on
  // an error. Sets *failed when a read failed for a reason other than the end.
  virtual std::size_t Read(char* buffer, std::size_t size, bool* failed) = 0;
  virtual bool Write(const char* data, std::size_t size) = 0;
  // Hands buffered bytes to the operating system.
  virtual bool Flush() = 0;
  // Flushes, then makes the bytes reach the medium itself.
  virtual bool Sync() = 0;
  // Moves to a byte offset from the start; clears the end-of-file state.
  virtual bool Seek(std::uint64_t offset) = 0;
  // The offset the next write goes to: after a write that failed part-way,
  // the end of the bytes that did go out. Empty if it cannot be told.
  virtual std::optional<std::uint64_t> Position() = 0;
  // Flushes, then cuts the file to its first `length` bytes and moves to its
  // end, so the next write follows them.
  virtual bool Truncate(std::uint64_t length) = 0;
  // Whether the last call that failed, failed because the medium is full
  // ("no space": ENOSPC or EDQUOT; ERROR_DISK_FULL or ERROR_HANDLE_DISK_FULL).
  virtual bool NoSpace() const = 0;
  // Closes the file. Later calls fail. A file destroyed unclosed is closed
  // quietly, which only the error paths rely on.
  virtual bool Close() = 0;
  // Copies up to `size` bytes from `source`, at its position, to this file at
  // its position inside the operating system, without passing them through
  // the caller, and moves both files past them. The bytes copied, which may be
  // fewer than asked, and 0 at the end of the source; empty when the host does
  // not copy this way between these two files, or the copy failed. The caller
  // then moves the bytes itself, so that its own reads and writes say which
  // side failed. Once refused or failed, it stays so for this pair of files.
  virtual std::optional<std::size_t> CopyFrom(File& /*source*/, std::size_t /*size*/) {
    return std::nullopt;
  }
};

// What a path names, links followed.
enum class FileKind {
  kNone,         // nothing, or nothing that can be examined
  kRegular,      // a file
  kDirectory,    // a folder
  kBlockDevice,  // a disk or partition, read like a file
  kCharDevice,   // a terminal or a device such as /dev/null or NUL
  kOther,        // a pipe or a socket: opening it may wait for another program
};

}  // namespace slicery
