#include "bench/report.h"

#include <algorithm>
#include <functional>
#include <string>

namespace slicery::bench {
namespace {

constexpr double kMiB = 1024.0 * 1024.0;

using Pick = std::function<double(const RunFigures&)>;

std::vector<double> Each(const std::vector<RunFigures>& runs, const Pick& pick) {
  std::vector<double> values;
  for (const RunFigures& run : runs) values.push_back(pick(run));
  return values;
}

double MaxOf(const std::vector<RunFigures>& runs, const Pick& pick) {
  const std::vector<double> values = Each(runs, pick);
  return *std::max_element(values.begin(), values.end());
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// "| 0.612 | 1673.2 | 0.480 | 2133.0 | 1.28 " for one phase against cat.
std::string PhaseCells(double bytes, double seconds, double cat_seconds) {
  return "| " + Format("%.3f", seconds) + " | " + Format("%.1f", bytes / kMiB / seconds) +
         " | " + Format("%.3f", cat_seconds) + " | " +
         Format("%.1f", bytes / kMiB / cat_seconds) + " | " +
         Format("%.2f", seconds / cat_seconds) + " ";
}

double MiB(long kib) { return static_cast<double>(kib) / 1024.0; }

std::string Row(const std::string& label, double bytes, const RunFigures& run) {
  const long split_rss =
      std::max(run.verified_split.usage.max_rss_kib, run.split.usage.max_rss_kib);
  return "| " + label + " " +
         PhaseCells(bytes, run.verified_split.seconds, run.cp_sync_cmp.seconds) +
         PhaseCells(bytes, run.split.seconds, run.cat_split.seconds) +
         PhaseCells(bytes, run.rebuild.seconds, run.cat_rebuild.seconds) + "| " +
         Format("%.1f", MiB(split_rss)) + " | " +
         Format("%.1f", MiB(run.rebuild.usage.max_rss_kib)) + " |\n";
}

double MedianOf(const std::vector<RunFigures>& runs, const Pick& pick) {
  return Median(Each(runs, pick));
}

// A run made of the medians of each time and the largest of each peak; its
// ratios are ratios of medians.
RunFigures Medians(const std::vector<RunFigures>& runs) {
  RunFigures m;
  m.verified_split.seconds =
      MedianOf(runs, [](auto& r) { return r.verified_split.seconds; });
  m.split.seconds = MedianOf(runs, [](auto& r) { return r.split.seconds; });
  m.rebuild.seconds = MedianOf(runs, [](auto& r) { return r.rebuild.seconds; });
  m.cp_sync_cmp.seconds = MedianOf(runs, [](auto& r) { return r.cp_sync_cmp.seconds; });
  m.cat_split.seconds = MedianOf(runs, [](auto& r) { return r.cat_split.seconds; });
  m.cat_rebuild.seconds = MedianOf(runs, [](auto& r) { return r.cat_rebuild.seconds; });
  m.verified_split.usage.max_rss_kib = static_cast<long>(
      MaxOf(runs, [](auto& r) { return r.verified_split.usage.max_rss_kib; }));
  m.split.usage.max_rss_kib =
      static_cast<long>(MaxOf(runs, [](auto& r) { return r.split.usage.max_rss_kib; }));
  m.rebuild.usage.max_rss_kib =
      static_cast<long>(MaxOf(runs, [](auto& r) { return r.rebuild.usage.max_rss_kib; }));
  return m;
}

double CpuSeconds(const ChildUsage& usage) {
  return usage.user_seconds + usage.system_seconds;
}

// CPU time tells the program's own cost apart from waiting for a busy machine.
void PrintCpuAndMemory(std::FILE* out, const std::vector<RunFigures>& runs,
                       const RunFigures& median) {
  const auto cpu = [&](const Pick& pick) { return MedianOf(runs, pick); };
  const double verified = cpu([](auto& r) { return CpuSeconds(r.verified_split.usage); });
  const double anchor = cpu([](auto& r) { return CpuSeconds(r.cp_sync_cmp.usage); });
  const double split = cpu([](auto& r) { return CpuSeconds(r.split.usage); });
  const double cat_split = cpu([](auto& r) { return CpuSeconds(r.cat_split.usage); });
  const double rebuild = cpu([](auto& r) { return CpuSeconds(r.rebuild.usage); });
  const double cat_rebuild = cpu([](auto& r) { return CpuSeconds(r.cat_rebuild.usage); });
  std::fprintf(out,
               "\nCPU seconds (user+system, medians): verified split %.3f, cp+sync+cmp "
               "%.3f (%.2fx); split %.3f, cat %.3f (%.2fx); rebuild %.3f, cat %.3f "
               "(%.2fx)\n",
               verified, anchor, verified / anchor, split, cat_split, split / cat_split,
               rebuild, cat_rebuild, rebuild / cat_rebuild);
  const long tools_rss = static_cast<long>(MaxOf(runs, [](auto& r) {
    return std::max({r.cp_sync_cmp.usage.max_rss_kib, r.cat_split.usage.max_rss_kib,
                     r.cat_rebuild.usage.max_rss_kib});
  }));
  const long slicery_rss =
      std::max({median.verified_split.usage.max_rss_kib, median.split.usage.max_rss_kib,
                median.rebuild.usage.max_rss_kib});
  std::fprintf(out, "peak RSS (largest run): slicery %.1f MiB, tools %.1f MiB\n",
               MiB(slicery_rss), MiB(tools_rss));
}

// Whether each split did what its column says, as its console shows: a
// verified split prints "Checking [" for each volume, the other one never.
void PrintReadBackNotes(std::FILE* out, const std::vector<RunFigures>& runs) {
  const bool verified_shown = std::all_of(
      runs.begin(), runs.end(), [](auto& r) { return r.verified_split.read_back_shown; });
  const bool plain_shown = std::any_of(runs.begin(), runs.end(),
                                       [](auto& r) { return r.split.read_back_shown; });
  if (!verified_shown) {
    std::fprintf(out,
                 "note: the verified split showed no read-back (\"Checking [\") on the "
                 "console: this program does not read the volumes back\n");
  }
  if (plain_shown) {
    std::fprintf(out, "note: the split with SLICERY_NO_VERIFY=1 read the volumes back\n");
  }
}

}  // namespace

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t half = values.size() / 2;
  return values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2;
}

Place PrintReport(std::FILE* out, const Options& options, const std::string& dir,
                  const std::string& file_system, int volumes,
                  const std::vector<RunFigures>& runs) {
  const double bytes = static_cast<double>(options.file_size);
  std::fprintf(out,
               "file %llu bytes (%.2f MiB%s) onto volumes of %llu bytes (%.2f MiB): "
               "%d volumes, %zu runs, in %s (%s)\n\n",
               static_cast<unsigned long long>(options.file_size), bytes / kMiB,
               options.sparse ? ", sparse" : "",
               static_cast<unsigned long long>(options.volume_size),
               static_cast<double>(options.volume_size) / kMiB, volumes, runs.size(),
               dir.c_str(), file_system.c_str());
  std::fprintf(
      out,
      "| run | verified split s | MiB/s | cp+sync+cmp s | MiB/s | verified/anchor "
      "| split s | MiB/s | cat s | MiB/s | split/cat | rebuild s | MiB/s | cat s "
      "| MiB/s | rebuild/cat | peak RSS split MiB | peak RSS rebuild MiB |\n|---|"
      "---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (std::size_t i = 0; i < runs.size(); ++i) {
    std::fputs(Row(std::to_string(i + 1), bytes, runs[i]).c_str(), out);
  }
  const RunFigures median = Medians(runs);
  std::fputs(Row("median", bytes, median).c_str(), out);
  PrintCpuAndMemory(out, runs, median);
  PrintReadBackNotes(out, runs);
  std::fprintf(
      out, "verified split %.2fx cp+sync+cmp, split %.2fx cat, reconstitute %.2fx cat\n",
      median.verified_split.seconds / median.cp_sync_cmp.seconds,
      median.split.seconds / median.cat_split.seconds,
      median.rebuild.seconds / median.cat_rebuild.seconds);
  return Place{dir, file_system, median};
}

void PrintSideBySide(std::FILE* out, const std::vector<Place>& places) {
  std::fprintf(
      out,
      "\nside by side (medians, seconds):\n\n| folder | file system | verified "
      "split | cp+sync+cmp | ratio | split | cat | ratio | rebuild | cat | ratio "
      "|\n|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const Place& place : places) {
    const RunFigures& m = place.median;
    std::fprintf(out, "| %s | %s ", place.dir.c_str(), place.file_system.c_str());
    for (const auto& [program, tool] :
         {std::pair{m.verified_split.seconds, m.cp_sync_cmp.seconds},
          std::pair{m.split.seconds, m.cat_split.seconds},
          std::pair{m.rebuild.seconds, m.cat_rebuild.seconds}}) {
      std::fprintf(out, "| %.3f | %.3f | %.2f ", program, tool, program / tool);
    }
    std::fprintf(out, "|\n");
  }
}

}  // namespace slicery::bench
