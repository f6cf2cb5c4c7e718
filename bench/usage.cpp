#include "bench/usage.h"

#include <cstdio>

namespace slicery::bench {
namespace {

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

}  // namespace

ChildUsage FromRusage(const rusage& usage) {
  return ChildUsage{usage.ru_maxrss, Seconds(usage.ru_utime), Seconds(usage.ru_stime)};
}

bool WriteUsage(const std::string& path, const ChildUsage& usage) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  const bool written = std::fprintf(file, "%ld %.6f %.6f\n", usage.max_rss_kib,
                                    usage.user_seconds, usage.system_seconds) > 0;
  return std::fclose(file) == 0 && written;
}

std::optional<ChildUsage> ReadUsage(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return std::nullopt;
  ChildUsage usage;
  const int fields = std::fscanf(file, "%ld %lf %lf", &usage.max_rss_kib,
                                 &usage.user_seconds, &usage.system_seconds);
  std::fclose(file);
  if (fields != 3) return std::nullopt;
  return usage;
}

}  // namespace slicery::bench
