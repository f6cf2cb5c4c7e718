// Files, the volume that stands for drive A, and the clock: the environment an
// operation runs in. One implementation per host (host_posix.cpp,
// host_win32.cpp); tests supply fakes of the same interface.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "platform/file.h"

namespace slicery {

// What the volume offers: its free bytes and the size they are handed out in.
struct VolumeSpace {
  std::uint64_t free_bytes = 0;  // available to the caller
  std::uint64_t unit = 1;        // allocation unit (cluster, block); at least 1
  // Free bytes of the simulated medium, counted without units, where the
  // volume is given a size of its own.
  std::optional<std::uint64_t> simulated_free;
};

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
  // Where `path` leads when it is a symbolic link: the path of the file at the
  // end of its links. Empty when it is no link, or leads nowhere. A host or
  // fake without links keeps this default.
  virtual std::optional<std::string> LinkTarget(const std::string& path) {
    (void)path;
    return std::nullopt;
  }
  // Creates `path` for binary writing where nothing is there yet, not even a
  // link that leads nowhere, to take the place of the file at `like`: with its
  // access rights (POSIX: its mode, and its owner and group as far as this
  // process may give them), so that a private file stays private. Null when
  // anything is at `path`, or it cannot be made.
  virtual std::unique_ptr<File> CreateNew(const std::string& path,
                                          const std::string& like) = 0;
  // Deletes a file; the result is ignored by every caller, so none is given.
  virtual void Remove(const std::string& path) = 0;
  // Renames `from` to `to` in one step, replacing the file at `to` (Windows:
  // written through to the medium). False when it failed: both are as they were.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  // Makes the entries of the folder that holds `path` durable, a rename into
  // it among them.
  virtual bool SyncFolderOf(const std::string& path) = 0;
  // The volume root, ending in its separator ("A:\" on Windows).
  virtual std::string VolumeRoot() = 0;
  // Whether the drive holds a medium that a split may write to. A volume
  // folder that is not a mount point (its device is its parent's) holds none:
  // what was written there would land on the file system below it. A volume
  // given a size of its own is a medium whatever it is.
  virtual bool VolumeHasMedium() = 0;
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
  // The folder where the program keeps, on this computer, what one run leaves
  // for the next (the journal of a split that has not finished), made if it
  // is missing, ending in its separator. Empty when the host cannot tell
  // where it is or cannot make it.
  virtual std::optional<std::string> StateFolder() = 0;
  // The path of the file at `path` from the root of the file system, the
  // same whichever folder the program runs in. Empty when it cannot be told.
  virtual std::optional<std::string> AbsolutePath(const std::string& path) = 0;
  // The system's folder for temporary files, ending in its separator (POSIX:
  // $TMPDIR where it is an absolute path, else /tmp; Windows: GetTempPath).
  // Never the current folder; empty when the system names none.
  virtual std::string TempFolder() = 0;
  // The bytes free to the caller on the file system that holds `folder`;
  // empty if the query failed.
  virtual std::optional<std::uint64_t> FreeBytesIn(const std::string& folder) = 0;
  // A new file in `folder`, open for reading and writing, that only this user
  // may read, and that goes away when it is closed or the program ends, however
  // it ends (POSIX: removed from the folder as soon as it is made; Windows:
  // deleted on close). Null when it cannot be made so.
  virtual std::unique_ptr<File> CreateScratchFile(const std::string& folder) = 0;
  // Whether one file of this environment may be read on one thread while
  // another is written on a second. The hosts' may; a fake keeps to one
  // thread, so that its calls come in the same order at every run.
  virtual bool FilesAcrossThreads() { return false; }
};

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

}  // namespace slicery
