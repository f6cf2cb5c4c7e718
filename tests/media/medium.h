// Real removable media for the end-to-end runs: a file system image on a loop
// device, a size-limited tmpfs, or an exFAT image through FUSE. A medium is
// made and mounted when constructed, and unmounted and detached when
// destroyed, whatever the test did in between.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace slicery::e2e {

enum class MediumType {
  kLoop,       // an image on a loop device, mounted by the kernel
  kTmpfs,      // a tmpfs with a size limit
  kExfatFuse,  // an exFAT image on a loop device, mounted through exfat-fuse
};

struct MediumKind {
  const char* name;
  MediumType type;
  std::uint64_t size;  // bytes of the image, or the tmpfs size limit
  // The command that makes the file system; the image path is appended.
  std::vector<std::string> format;
};

// SLICERY_MEDIA_REQUIRED=1: a medium that cannot be made fails the case
// instead of skipping it (CI, where the media must run).
bool MediaRequired();

// Why media of this kind cannot be made on this machine (not root, no loop
// device, no /dev/fuse, a missing program); empty when they can be tried.
std::string WhyNoMedia(const MediumKind& kind);

class Medium {
 public:
  // Makes the medium in `dir`: its image (if any) and its mount point.
  Medium(const MediumKind& kind, const std::string& dir);
  ~Medium();
  Medium(const Medium&) = delete;
  Medium& operator=(const Medium&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& mount_point() const { return mount_point_; }
  // Why the medium is not mounted, with the output of the command that failed.
  const std::string& error() const { return error_; }
  // Why it could not be unmounted or detached; empty when all went.
  const std::string& cleanup_error() const { return cleanup_error_; }
  // Unmounts and detaches; the destructor does it too, if it was not done.
  void Release();

 private:
  bool Mount(const MediumKind& kind);
  bool Unmount();

  std::string image_, mount_point_, loop_device_, error_, cleanup_error_;
  bool mounted_ = false;
};

// What statvfs says of the file system at `dir`: the free bytes available to
// the caller, and the allocation unit.
struct Space {
  std::uint64_t free_bytes = 0;
  std::uint64_t unit = 0;
};
std::optional<Space> MeasureSpace(const std::string& dir);

}  // namespace slicery::e2e
