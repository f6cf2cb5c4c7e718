// The services Slicery asks of its host: message boxes and the console clear,
// files, the removable volume and the tick count. One implementation per host
// (host_posix.cpp, host_win32.cpp); tests supply fakes of the same interfaces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

namespace slicery {

// How a file is opened: the runtime's "r", "rb", "w" and "wb".
enum class FileMode { kReadText, kReadBinary, kWriteText, kWriteBinary };

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

// What the volume offers: its free bytes and the size they are handed out in.
struct VolumeSpace {
  std::uint64_t free_bytes = 0;  // available to the caller
  std::uint64_t unit = 1;        // allocation unit (cluster, block); at least 1
  // Free bytes of the simulated medium, counted without units, where the
  // volume is given a size of its own.
  std::optional<std::uint64_t> simulated_free;
};

// Files, the volume that stands for drive A, and the clock.
class Env {
 public:
  virtual ~Env() = default;
  // Null when the file cannot be opened in that mode.
  virtual std::unique_ptr<File> Open(const std::string& path, FileMode mode) = 0;
  // Whether anything is at `path`, even what cannot be opened.
  virtual bool Exists(const std::string& path) = 0;
  // What `path` names, found without reading from it, so it cannot block.
  virtual FileKind KindOf(const std::string& path) = 0;
  // Whether two paths name one file however they are spelled (the same device
  // and inode, or volume serial and file index). False when either names nothing.
  virtual bool SameFile(const std::string& a, const std::string& b) = 0;
  // Deletes a file; the result is ignored by every caller, so none is given.
  virtual void Remove(const std::string& path) = 0;
  // The volume root, ending in its separator ("A:\" on Windows).
  virtual std::string VolumeRoot() = 0;
  // The volume's free space; empty if the query failed.
  virtual std::optional<VolumeSpace> QueryVolumeSpace() = 0;
  // Makes the volume's directory entries durable (new and removed files).
  virtual bool SyncVolume() = 0;
  // Opens `path` for reading from the medium itself rather than from the
  // operating system's cache of it (which holds what was written, not what
  // the medium kept), so that a written file can be read back. Null when it
  // cannot be opened.
  virtual std::unique_ptr<File> OpenFromMedium(const std::string& path) = 0;
  // Milliseconds since the system started, truncated to 32 bits.
  virtual std::uint32_t TickCount() = 0;
};

// The button sets of a message box, with the host's flag values.
enum class Buttons : unsigned {
  kOk = 0x0,           // MB_OK
  kOkCancel = 0x1,     // MB_OKCANCEL
  kYesNoCancel = 0x3,  // MB_YESNOCANCEL
  kYesNo = 0x4,        // MB_YESNO
};

// The icon of a message box, with the host's flag values.
enum class Icon : unsigned {
  kNone = 0x0,
  kError = 0x10,     // MB_ICONERROR
  kQuestion = 0x20,  // MB_ICONQUESTION
  kWarning = 0x30,   // MB_ICONWARNING
};

inline constexpr unsigned kButtonsMask = 0xF;
inline constexpr unsigned kIconMask = 0xF0;

// The flags a message box is shown with: its buttons and its icon.
constexpr unsigned operator|(Buttons buttons, Icon icon) {
  return static_cast<unsigned>(buttons) | static_cast<unsigned>(icon);
}

// The button pressed, with the host's result codes (IDOK, IDCANCEL, IDYES, IDNO).
enum class DialogResult : int { kOk = 1, kCancel = 2, kYes = 6, kNo = 7 };

// Message boxes and the console clear.
class Screen {
 public:
  virtual ~Screen() = default;
  // Shows a modal message box with the given flags (buttons | icon) and
  // returns the button pressed. Closing the box any other way reads as Cancel.
  virtual DialogResult ShowMessageBox(const std::string& text, const std::string& caption,
                                      unsigned flags) = 0;
  virtual void Clear() = 0;
};

// True where typed paths are upper-cased before use (Windows); false where the
// file system is case-sensitive (POSIX), so paths are used as typed.
extern const bool kUpperCaseTypedPaths;

// Line end written into text records. Windows text mode turns "\n" into CR LF
// itself; POSIX writes CR LF explicitly, so the bytes match on both hosts.
extern const char kRecordLineEnd[];

// The volume as given on the command line, ahead of the host's own settings.
// A field left empty leaves that setting to the host.
struct VolumeOverrides {
  std::optional<std::string> root;  // the volume directory
  std::optional<std::string> size;  // a byte count as typed, checked by the host
};

// The host's environment. Reports a configuration error on `error` and
// returns null when the host cannot be used as configured, or cannot take the
// overrides given.
std::unique_ptr<Env> NewHostEnv(std::ostream& error, const VolumeOverrides& overrides);

// The host's message boxes, over the console streams where the host has none.
std::unique_ptr<Screen> NewHostScreen(std::istream& in, std::ostream& out);

}  // namespace slicery
