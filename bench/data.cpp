#include "bench/data.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "bench/dialogs.h"
#include "e2e/files.h"

namespace slicery::bench {
namespace {

constexpr std::uint64_t kReserve = 600;
constexpr std::uint64_t kChunkCap = 2147483647;
constexpr std::uint64_t kMarker = 4096;
constexpr std::uint32_t kSeed = 20240101;

bool Failed(const std::string& what, const std::string& path, std::string* error) {
  *error = what + " " + path + ": " + std::strerror(errno);
  return false;
}

// Marker blocks, each kMarker bytes at most and inside the file: the ends, and
// around 2^31 and 2^32.
std::vector<std::pair<std::uint64_t, std::uint64_t>> MarkerSpans(std::uint64_t size) {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;
  const auto add = [&](std::uint64_t from, std::uint64_t to) {
    to = std::min(to, size);
    if (from < to) spans.emplace_back(from, to - from);
  };
  add(0, kMarker);
  for (std::uint64_t boundary : {1ull << 31, 1ull << 32}) {
    add(boundary - kMarker, boundary + kMarker);
  }
  add(size - std::min(size, kMarker), size);
  return spans;
}

bool WriteAll(int fd, const std::string& bytes, std::uint64_t offset) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = pwrite(fd, bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace

bool MakeRandomSource(const std::string& path, std::uint64_t size, std::string* error) {
  if (e2e::WriteRandomFile(path, size, kSeed)) return true;
  return Failed("cannot write", path, error);
}

bool MakeSparseSource(const std::string& path, std::uint64_t size, std::string* error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return Failed("cannot create", path, error);
  bool written = ftruncate(fd, static_cast<off_t>(size)) == 0;
  std::uint32_t seed = kSeed;
  for (const auto& [offset, length] : MarkerSpans(size)) {
    written = written && WriteAll(fd, e2e::RandomBytes(length, ++seed), offset);
  }
  if (!written) {
    Failed("cannot write", path, error);
    close(fd);
    return false;
  }
  return close(fd) == 0 || Failed("cannot close", path, error);
}

std::vector<std::uint64_t> ExpectedChunks(std::uint64_t file_size,
                                          std::uint64_t volume_size) {
  const std::uint64_t chunk = std::min(volume_size - kReserve, kChunkCap);
  std::vector<std::uint64_t> chunks(file_size / chunk, chunk);
  chunks.push_back(file_size % chunk);
  return chunks;
}

bool CheckChunks(const e2e::Drive& drive, const std::vector<std::uint64_t>& chunks,
                 std::string* error) {
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    const std::string path = drive.FileOn(std::to_string(i + 1), kDataFile);
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size != chunks[i]) {
      *error = path + " holds " + (ec ? ec.message() : std::to_string(size) + " bytes") +
               ", expected " + std::to_string(chunks[i]) + " bytes";
      return false;
    }
  }
  return true;
}

bool CheckRebuilt(const std::string& source, const std::string& rebuilt,
                  std::string* error) {
  if (e2e::SameContents(source, rebuilt)) return true;
  *error = rebuilt + " differs from " + source;
  return false;
}

bool FlipFirstByte(const std::string& path, std::string* error) {
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return Failed("cannot open", path, error);
  char byte = 0;
  bool flipped = pread(fd, &byte, 1, 0) == 1;
  byte = static_cast<char>(byte ^ 0x5A);
  flipped = flipped && pwrite(fd, &byte, 1, 0) == 1;
  if (!flipped) Failed("cannot flip a byte of", path, error);
  return close(fd) == 0 && flipped;
}

}  // namespace slicery::bench
