// An open file, the modes it is opened in, and what a path names. Each host's
// environment opens files of this interface; tests supply fakes of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace slicery {

// How a file is opened: the runtime's "r", "rb", "w" and "wb", and "r+b",
// which writes into a file that exists without emptying it first.
enum class FileMode { kReadText, kReadBinary, kWriteText, kWriteBinary, kUpdateBinary };

// What tells one file from another on its host, and whether it changed.
struct FileIdentity {
  std::uint64_t device = 0;   // device (POSIX) or volume serial number (Windows)
  std::uint64_t index = 0;    // inode (POSIX) or file index (Windows)
  std::uint64_t size = 0;     // bytes
  std::int64_t modified = 0;  // last modification, in the host's finest unit

  bool SameFileAs(const FileIdentity& other) const {
    return device == other.device && index == other.index;
  }
  bool UnchangedFrom(const FileIdentity& other) const {
    return SameFileAs(other) && size == other.size && modified == other.modified;
  }
};

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
  // Flushes, then makes the bytes written since the last call reach the
  // medium, leaving the file's own records (its size, where its blocks lie)
  // to the next Sync where the host can, so that a copy that does this often
  // does not rewrite them each time. Hosts that cannot tell the two apart
  // sync the whole file.
  virtual bool SyncData() { return Sync(); }
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
  // The host's descriptor of the open file, through which the kernel can copy
  // it; empty for a file the host did not open (a test's fake) or a closed one.
  virtual std::optional<int> Descriptor() = 0;
  // Which file is open, its size and modification time; empty when the host
  // cannot tell (or the file is closed).
  virtual std::optional<FileIdentity> Identity() = 0;
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
