#include "bench/room.h"

#include <linux/magic.h>
#include <sys/statfs.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace slicery::bench {
namespace {

constexpr std::uint64_t kMargin = 1ull << 30;

std::string GiB(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / (1ull << 30));
  return text;
}

// MemAvailable from /proc/meminfo, in bytes; 0 when it cannot be read.
std::uint64_t MemoryAvailable() {
  std::ifstream meminfo("/proc/meminfo");
  std::string name;
  std::uint64_t kib = 0;
  std::string unit;
  while (meminfo >> name >> kib >> unit) {
    if (name == "MemAvailable:") return kib * 1024;
  }
  return 0;
}

}  // namespace

std::uint64_t BytesNeeded(std::uint64_t file_size, bool sparse) {
  return (sparse ? 0 : file_size) + 2 * file_size;
}

bool CheckRoom(const std::string& dir, std::uint64_t bytes, std::string* error) {
  struct statfs fs;
  if (statfs(dir.c_str(), &fs) != 0) {
    *error = "cannot query " + dir + ": " + std::strerror(errno);
    return false;
  }
  const std::uint64_t free_bytes =
      static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_bsize);
  if (free_bytes < bytes + kMargin) {
    *error = dir + " has " + GiB(free_bytes) + " free; a run needs " + GiB(bytes) +
             " and a margin of " + GiB(kMargin);
    return false;
  }
  const std::uint64_t memory = MemoryAvailable();
  if (fs.f_type == TMPFS_MAGIC && memory < bytes + 2 * kMargin) {
    *error = dir + " is tmpfs and " + GiB(memory) +
             " of memory is available; a run needs " + GiB(bytes) +
             " of it and a margin of " + GiB(2 * kMargin);
    return false;
  }
  return true;
}

std::string FileSystemOf(const std::string& dir) {
  std::error_code ec;
  const std::string path = std::filesystem::canonical(dir, ec).string();
  if (ec) return "unknown";
  std::ifstream mounts("/proc/self/mounts");
  std::string best_point, best_type = "unknown";
  for (std::string device, point, type, rest; mounts >> device >> point >> type;) {
    std::getline(mounts, rest);
    const bool holds = path == point || point == "/" || path.rfind(point + "/", 0) == 0;
    if (holds && point.size() >= best_point.size()) {
      best_point = point;
      best_type = type;
    }
  }
  return best_type;
}

}  // namespace slicery::bench
