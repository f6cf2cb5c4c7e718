// What the benchmark learns about a finished process: its peak resident set
// and the CPU time it used. The wrapper that starts slicery writes it to a file
// as one line; the benchmark reads it back.
#pragma once

#include <sys/resource.h>

#include <optional>
#include <string>

namespace slicery::bench {

// The wrapper's configuration, set in its environment by the benchmark and
// taken out again before slicery starts.
inline constexpr char kProgramVariable[] = "SLICERY_BENCH_PROGRAM";
inline constexpr char kUsageVariable[] = "SLICERY_BENCH_USAGE";

struct ChildUsage {
  long max_rss_kib = 0;  // peak resident set, KiB (ru_maxrss on Linux)
  double user_seconds = 0;
  double system_seconds = 0;
};

ChildUsage FromRusage(const rusage& usage);
// One line: "<max_rss_kib> <user_seconds> <system_seconds>\n".
bool WriteUsage(const std::string& path, const ChildUsage& usage);
std::optional<ChildUsage> ReadUsage(const std::string& path);

}  // namespace slicery::bench
