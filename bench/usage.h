// What the benchmark learns about a finished process: its peak resident set
// and the CPU time it used, from the rusage that wait4 gives its parent.
#pragma once

#include <sys/resource.h>

namespace slicery::bench {

struct ChildUsage {
  long max_rss_kib = 0;  // peak resident set, KiB (ru_maxrss on Linux)
  double user_seconds = 0;
  double system_seconds = 0;
};

ChildUsage FromRusage(const rusage& usage);

// Two processes run one after the other: their CPU times added, the larger
// peak.
ChildUsage Together(const ChildUsage& a, const ChildUsage& b);

}  // namespace slicery::bench
