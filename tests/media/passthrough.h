// A medium of the suite's own: a folder served through a pass-through FUSE
// file system (passthrough_fs.py) with the kernel page cache on, healthy or
// playing one fault on one of the volume's files. Mounted when constructed;
// unmounted, and its server stopped, when released or destroyed.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace slicery::e2e {

enum class PassthroughFault {
  kNone,
  // Writes to the file are stored with every bit flipped from byte 4096
  // on, and reported written in full.
  kDamage,
  // Writes to the file are stored with the one byte at a chosen offset
  // bits flipped, and reported written in full.
  kFlipByte,
  // At the first write to the file the file system lazily unmounts
  // itself and serves the open file on, detached.
  kDetach,
  // Reads of the file that touch the bytes from `offset` to `end` fail, as
  // bad sectors do.
  kReadError,
};

// Why such a medium cannot be made here (not root, no /dev/fuse, no fusepy
// for /usr/bin/python3); empty when it can be tried.
std::string WhyNoPassthrough();

class PassthroughMedium {
 public:
  // Serves `dir`/backing at `dir`/mnt; `file` is the name the fault acts on,
  // `offset` the byte of it that kFlipByte damages, or with `end` the bytes
  // that kReadError fails.
  PassthroughMedium(const std::string& dir, PassthroughFault fault,
                    const std::string& file, std::uint64_t offset = 0,
                    std::uint64_t end = 0);
  ~PassthroughMedium();
  PassthroughMedium(const PassthroughMedium&) = delete;
  PassthroughMedium& operator=(const PassthroughMedium&) = delete;

  // Whether the file system is mounted at the mount point now (false once it
  // detached itself).
  bool mounted() const;
  const std::string& mount_point() const { return mount_point_; }
  // The folder that holds what the medium stored.
  const std::string& backing() const { return backing_; }
  // Why it did not mount, with what the server printed.
  const std::string& error() const { return error_; }
  // What went wrong while unmounting or stopping the server; empty when all
  // went.
  const std::string& cleanup_error() const { return cleanup_error_; }
  // Unmounts (if still mounted) and waits for the server to end, which a
  // detached one does once its last file is closed.
  void Release();

 private:
  bool Start(PassthroughFault fault, const std::string& file, std::uint64_t offset,
             std::uint64_t end);
  bool WaitForMount();
  std::string Log() const;

  std::string backing_, mount_point_, log_, error_, cleanup_error_;
  pid_t server_ = -1;
};

}  // namespace slicery::e2e
