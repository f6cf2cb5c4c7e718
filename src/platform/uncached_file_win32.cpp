// Windows: a handle opened without the system's buffering reads the medium
// itself. Such reads must start on a sector boundary, run a whole number of
// sectors and land in a sector-aligned buffer, so the file reads into an
// aligned buffer of its own and hands out its bytes from there.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/uncached_file.h"
#include "platform/win32_identity.h"

namespace slicery {
namespace {

// A multiple of every sector size in use (512 and 4096 bytes).
constexpr DWORD kAlignedBlock = 64 * 1024;

class UncachedFile : public File {
 public:
  UncachedFile(HANDLE handle, char* buffer) : handle_(handle), buffer_(buffer) {}
  ~UncachedFile() override { Close(); }

  std::size_t Read(char* out, std::size_t size, bool* failed) override {
    std::size_t given = 0;
    while (given < size) {
      if (next_ == filled_ && !Refill(failed)) break;
      const std::size_t n = std::min(size - given, filled_ - next_);
      std::memcpy(out + given, buffer_ + next_, n);
      next_ += n;
      given += n;
    }
    return given;
  }

  bool Write(const char*, std::size_t) override { return false; }
  bool Flush() override { return handle_ != INVALID_HANDLE_VALUE; }
  bool Sync() override { return Flush(); }
  // Reads go on from `offset`: within the block read last, from there, so that
  // a reader that seeks to each block in turn reads each from the medium once;
  // elsewhere from the aligned block that holds it, its first bytes passed
  // over, so that a reader can go on past a sector that failed.
  bool Seek(std::uint64_t offset) override {
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    const std::uint64_t held_to = buffer_at_ + filled_;
    if (offset >= buffer_at_ && (offset < held_to || (at_end_ && offset == held_to))) {
      next_ = static_cast<std::size_t>(offset - buffer_at_);
      return true;
    }
    LARGE_INTEGER block;
    block.QuadPart = static_cast<LONGLONG>(offset - offset % kAlignedBlock);
    if (!SetFilePointerEx(handle_, block, nullptr, FILE_BEGIN)) return false;
    file_at_ = static_cast<std::uint64_t>(block.QuadPart);
    next_ = filled_ = 0;
    at_end_ = false;
    skip_ = static_cast<std::size_t>(offset % kAlignedBlock);
    return true;
  }
  std::optional<std::uint64_t> Position() override { return std::nullopt; }
  bool Truncate(std::uint64_t) override { return false; }
  bool NoSpace() const override { return false; }

  bool Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    const bool closed = CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    VirtualFree(buffer_, 0, MEM_RELEASE);
    buffer_ = nullptr;
    return closed;
  }

  std::optional<int> Descriptor() override { return std::nullopt; }

  std::optional<FileIdentity> Identity() override { return IdentifyHandle(handle_); }

 private:
  // The next aligned block from the medium; false at the end or on an error.
  bool Refill(bool* failed) {
    next_ = filled_ = 0;
    if (handle_ == INVALID_HANDLE_VALUE || at_end_) return false;
    DWORD got = 0;
    buffer_at_ = file_at_;
    if (!ReadFile(handle_, buffer_, kAlignedBlock, &got, nullptr)) {
      *failed = true;
      return false;
    }
    file_at_ += got;
    at_end_ = got < kAlignedBlock;
    filled_ = got;
    next_ = std::min<std::size_t>(skip_, filled_);
    skip_ = 0;
    return next_ < filled_;
  }

  HANDLE handle_;
  char* buffer_;
  std::size_t next_ = 0, filled_ = 0;
  std::size_t skip_ = 0;         // bytes of the next block that a seek passes over
  std::uint64_t buffer_at_ = 0;  // the file's offset of the block in the buffer
  std::uint64_t file_at_ = 0;    // the file's offset of the next block read
  bool at_end_ = false;
};

}  // namespace

std::optional<FileIdentity> IdentifyHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) {
    return std::nullopt;
  }
  const auto wide = [](DWORD high, DWORD low) {
    return (std::uint64_t{high} << 32) | low;
  };
  return FileIdentity{
      info.dwVolumeSerialNumber, wide(info.nFileIndexHigh, info.nFileIndexLow),
      wide(info.nFileSizeHigh, info.nFileSizeLow),
      static_cast<std::int64_t>(
          wide(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime))};
}

std::unique_ptr<File> OpenUncachedFile(const std::string& path) {
  const HANDLE handle = CreateFileA(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  // Pages are aligned far beyond any sector.
  void* buffer =
      VirtualAlloc(nullptr, kAlignedBlock, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (buffer == nullptr) {
    CloseHandle(handle);
    return nullptr;
  }
  return std::make_unique<UncachedFile>(handle, static_cast<char*>(buffer));
}

}  // namespace slicery
