// POSIX host: a directory stands for drive A and the console for message boxes.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <limits>

#include "platform/console_screen.h"
#include "platform/env.h"
#include "platform/file.h"
#include "platform/host_constants.h"
#include "platform/screen.h"
#include "platform/state_folder.h"
#include "platform/stdio_file.h"
#include "platform/uncached_file.h"

namespace slicery {

const bool kUpperCaseTypedPaths = false;
const char kRecordLineEnd[] = "\r\n";

namespace {

constexpr char kDefaultVolume[] = "/media/floppy";

// A file that cannot be synced at all (a character device) counts as synced.
bool SyncFailed(int result) { return result != 0 && errno != EINVAL && errno != ENOTSUP; }

// The folder that holds `path`: what comes before its last separator, "/"
// for a file at the top, "." for a bare name.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool failed = SyncFailed(fsync(fd));
  return close(fd) == 0 && !failed;
}

// Sum of the sizes of the regular files below `root`, symbolic links not followed.
std::uint64_t BytesUsedBelow(const std::string& root) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::uint64_t used = 0;
  fs::recursive_directory_iterator it(root, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    if (!it->is_symlink(ec) && it->is_regular_file(ec)) {
      const std::uintmax_t size = it->file_size(ec);
      if (!ec) used += size;
    }
    ec.clear();
  }
  return used;
}

// Digits only, 1 to 9223372036854775807.
std::optional<std::uint64_t> ParseVolumeSize(const std::string& text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value == 0 || value > std::uint64_t{std::numeric_limits<std::int64_t>::max()}) {
    return std::nullopt;
  }
  return value;
}

class PosixEnv : public Env {
 public:
  PosixEnv(std::string root, std::optional<std::uint64_t> size)
      : root_(std::move(root)), size_(size) {}

  std::unique_ptr<File> Open(const std::string& path, FileMode mode) override {
    return OpenStdioFile(path, mode);
  }

  bool Exists(const std::string& path) override {
    struct stat info;
    return stat(path.c_str(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR);
  }

  FileKind KindOf(const std::string& path) override {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return FileKind::kNone;
    if (S_ISREG(info.st_mode)) return FileKind::kRegular;
    if (S_ISDIR(info.st_mode)) return FileKind::kDirectory;
    if (S_ISBLK(info.st_mode)) return FileKind::kBlockDevice;
    if (S_ISCHR(info.st_mode)) return FileKind::kCharDevice;
    return FileKind::kOther;
  }

  bool SameFile(const std::string& a, const std::string& b) override {
    struct stat first, second;
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  }

  std::optional<std::string> LinkTarget(const std::string& path) override {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return std::nullopt;
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return std::nullopt;
    std::string target(resolved);
    std::free(resolved);
    return target;
  }

  std::unique_ptr<File> CreateNew(const std::string& path,
                                  const std::string& like) override {
    // O_EXCL creates nothing where a link stands, even one that leads nowhere.
    // The file is private until it has the rights of the one it replaces.
    struct stat old;
    const bool replaces = stat(like.c_str(), &old) == 0;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                        replaces ? 0600 : 0666);
    if (fd < 0) return nullptr;
    if (replaces) {
      // Owner first: a change of owner clears the set-id bits the mode sets.
      (void)!fchown(fd, old.st_uid, old.st_gid);
      (void)!fchmod(fd, old.st_mode & 07777);
    }
    std::FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
      close(fd);
      return nullptr;
    }
    return AdoptStdioStream(stream);
  }

  void Remove(const std::string& path) override { std::remove(path.c_str()); }

  bool Rename(const std::string& from, const std::string& to) override {
    return std::rename(from.c_str(), to.c_str()) == 0;
  }

  bool SyncFolderOf(const std::string& path) override {
    return SyncFolder(FolderOf(path));
  }

  std::string VolumeRoot() override { return root_; }

  // A mount point is on another device than its parent; the root of all is
  // its own parent.
  bool VolumeHasMedium() override {
    if (size_) return true;
    struct stat volume, parent;
    if (stat(root_.c_str(), &volume) != 0 || !S_ISDIR(volume.st_mode)) return false;
    if (stat((root_ + "..").c_str(), &parent) != 0) return false;
    return volume.st_dev != parent.st_dev || volume.st_ino == parent.st_ino;
  }

  std::optional<VolumeSpace> QueryVolumeSpace() override {
    struct stat info;
    struct statvfs fs;
    if (stat(root_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
    if (statvfs(root_.c_str(), &fs) != 0) return std::nullopt;
    VolumeSpace space;
    space.unit = fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize;
    if (space.unit == 0) return std::nullopt;
    space.free_bytes = std::uint64_t{fs.f_bavail} * space.unit;
    if (size_) {
      const std::uint64_t used = BytesUsedBelow(root_);
      space.simulated_free = used < *size_ ? *size_ - used : 0;
    }
    return space;
  }

  bool SyncVolume() override { return SyncFolder(root_); }

  std::unique_ptr<File> OpenFromMedium(const std::string& path) override {
    return OpenUncachedFile(path);
  }

  std::uint32_t TickCount() override {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms = std::uint64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    return static_cast<std::uint32_t>(ms);
  }

  std::optional<std::string> StateFolder() override { return UserStateFolder(); }

  std::optional<std::string> AbsolutePath(const std::string& path) override {
    return FullPathOf(path);
  }

  std::string TempFolder() override {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string folder = tmpdir != nullptr && tmpdir[0] == '/' ? tmpdir : "/tmp";
    if (folder.back() != '/') folder.push_back('/');
    return folder;
  }

  std::optional<std::uint64_t> FreeBytesIn(const std::string& folder) override {
    struct statvfs fs;
    if (statvfs(folder.c_str(), &fs) != 0) return std::nullopt;
    const std::uint64_t unit = fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize;
    return std::uint64_t{fs.f_bavail} * unit;
  }

  // Each file has its own descriptor (handle) and buffer.
  bool FilesAcrossThreads() override { return true; }

  // mkstemp makes the file for its owner alone; once its name is gone, only
  // the open file holds its blocks, which the system frees when it closes.
  std::unique_ptr<File> CreateScratchFile(const std::string& folder) override {
    std::string name = folder + "slicery-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) return nullptr;
    const bool unnamed = unlink(name.c_str()) == 0;
    std::FILE* stream =
        unnamed && fcntl(fd, F_SETFD, FD_CLOEXEC) == 0 ? fdopen(fd, "w+b") : nullptr;
    if (stream == nullptr) {
      if (!unnamed) unlink(name.c_str());
      close(fd);
      return nullptr;
    }
    return AdoptStdioStream(stream);
  }

 private:
  std::string root_;
  std::optional<std::uint64_t> size_;
};

}  // namespace

bool SyncStdioStream(std::FILE* stream) { return !SyncFailed(fsync(fileno(stream))); }

int StdioStreamDescriptor(std::FILE* stream) { return fileno(stream); }

std::optional<FileIdentity> IdentifyStdioStream(std::FILE* stream) {
  struct stat info;
  if (fstat(fileno(stream), &info) != 0) return std::nullopt;
  return FileIdentity{
      static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
      static_cast<std::uint64_t>(info.st_size),
      std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec};
}

bool SeekStdioStream(std::FILE* stream, std::uint64_t offset) {
  if (offset > std::uint64_t{std::numeric_limits<off_t>::max()}) return false;
  return fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

std::optional<std::uint64_t> TellStdioStream(std::FILE* stream) {
  const off_t offset = ftello(stream);
  if (offset < 0) return std::nullopt;
  return static_cast<std::uint64_t>(offset);
}

bool TruncateStdioStream(std::FILE* stream, std::uint64_t length) {
  if (length > std::uint64_t{std::numeric_limits<off_t>::max()}) return false;
  return ftruncate(fileno(stream), static_cast<off_t>(length)) == 0;
}

bool LastErrorIsNoSpace() { return errno == ENOSPC || errno == EDQUOT; }

namespace {

// The volume directory: --volume, then SLICERY_VOLUME when it is not empty,
// then the default; always ending in its separator.
std::string VolumeRootFrom(const VolumeOverrides& overrides) {
  const char* volume = std::getenv("SLICERY_VOLUME");
  std::string root = overrides.root                           ? *overrides.root
                     : (volume != nullptr && *volume != '\0') ? volume
                                                              : kDefaultVolume;
  if (root.empty() || root.back() != '/') root.push_back('/');
  return root;
}

}  // namespace

std::unique_ptr<Env> NewHostEnv(std::ostream& error, const VolumeOverrides& overrides) {
  // --volume-size, when given, takes the place of SLICERY_VOLUME_SIZE, with the
  // same check.
  const char* name = "--volume-size";
  const char* text = overrides.size ? overrides.size->c_str() : nullptr;
  if (text == nullptr) {
    name = "SLICERY_VOLUME_SIZE";
    text = std::getenv(name);
  }
  std::optional<std::uint64_t> size;
  if (text != nullptr) {
    size = ParseVolumeSize(text);
    if (!size) {
      error << "slicery: " << name
            << " must be a byte count from 1 to 9223372036854775807, not \"" << text
            << "\"" << std::endl;
      return nullptr;
    }
  }
  return std::make_unique<PosixEnv>(VolumeRootFrom(overrides), size);
}

std::unique_ptr<Screen> NewHostScreen(std::istream& in, std::ostream& out,
                                      int end_of_input_status) {
  return std::make_unique<ConsoleScreen>(
      in, out, isatty(STDOUT_FILENO) == 1,
      [end_of_input_status] { std::exit(end_of_input_status); });
}

}  // namespace slicery
