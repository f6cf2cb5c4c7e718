#include "bench/usage.h"

namespace slicery::bench {
namespace {

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

}  // namespace

ChildUsage FromRusage(const rusage& usage) {
  return ChildUsage{usage.ru_maxrss, Seconds(usage.ru_utime), Seconds(usage.ru_stime)};
}

ChildUsage Together(const ChildUsage& a, const ChildUsage& b) {
  return ChildUsage{a.max_rss_kib > b.max_rss_kib ? a.max_rss_kib : b.max_rss_kib,
                    a.user_seconds + b.user_seconds, a.system_seconds + b.system_seconds};
}

}  // namespace slicery::bench
