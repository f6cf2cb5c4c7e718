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

std::string Row(const std::string& label, double bytes, const RunFigures& run) {
  return "| " + label + " " +
         PhaseCells(bytes, run.split.seconds, run.cat_split.seconds) +
         PhaseCells(bytes, run.rebuild.seconds, run.cat_rebuild.seconds) + "| " +
         Format("%.1f", run.split.usage.max_rss_kib / 1024.0) + " | " +
         Format("%.1f", run.rebuild.usage.max_rss_kib / 1024.0) + " |\n";
}

// A run made of the medians of each figure; its ratios are ratios of medians.
RunFigures Medians(const std::vector<RunFigures>& runs) {
  RunFigures median;
  median.split.seconds = Median(Each(runs, [](auto& r) { return r.split.seconds; }));
  median.rebuild.seconds = Median(Each(runs, [](auto& r) { return r.rebuild.seconds; }));
  median.cat_split.seconds =
      Median(Each(runs, [](auto& r) { return r.cat_split.seconds; }));
  median.cat_rebuild.seconds =
      Median(Each(runs, [](auto& r) { return r.cat_rebuild.seconds; }));
  median.split.usage.max_rss_kib =
      static_cast<long>(MaxOf(runs, [](auto& r) { return r.split.usage.max_rss_kib; }));
  median.rebuild.usage.max_rss_kib =
      static_cast<long>(MaxOf(runs, [](auto& r) { return r.rebuild.usage.max_rss_kib; }));
  return median;
}

double CpuSeconds(const ChildUsage& usage) {
  return usage.user_seconds + usage.system_seconds;
}

// CPU time tells the program's own cost apart from waiting for a busy machine.
void PrintCpuAndMemory(std::FILE* out, const std::vector<RunFigures>& runs,
                       const RunFigures& median) {
  const double split =
      Median(Each(runs, [](auto& r) { return CpuSeconds(r.split.usage); }));
  const double cat_split =
      Median(Each(runs, [](auto& r) { return CpuSeconds(r.cat_split.usage); }));
  const double rebuild =
      Median(Each(runs, [](auto& r) { return CpuSeconds(r.rebuild.usage); }));
  const double cat_rebuild =
      Median(Each(runs, [](auto& r) { return CpuSeconds(r.cat_rebuild.usage); }));
  std::fprintf(out,
               "\nCPU seconds (user+system, medians): split %.3f, cat %.3f (%.2fx); "
               "rebuild %.3f, cat %.3f (%.2fx)\n",
               split, cat_split, split / cat_split, rebuild, cat_rebuild,
               rebuild / cat_rebuild);
  const long cat_rss = static_cast<long>(MaxOf(runs, [](auto& r) {
    return std::max(r.cat_split.usage.max_rss_kib, r.cat_rebuild.usage.max_rss_kib);
  }));
  std::fprintf(
      out, "peak RSS (largest run): slicery %.1f MiB, cat %.1f MiB\n",
      std::max(median.split.usage.max_rss_kib, median.rebuild.usage.max_rss_kib) / 1024.0,
      cat_rss / 1024.0);
}

}  // namespace

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t half = values.size() / 2;
  return values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2;
}

void PrintReport(std::FILE* out, const Options& options, int volumes,
                 const std::vector<RunFigures>& runs) {
  const double bytes = static_cast<double>(options.file_size);
  std::fprintf(out,
               "file %llu bytes (%.2f MiB%s) onto volumes of %llu bytes (%.2f MiB): "
               "%d volumes, %zu runs, in %s\n\n",
               static_cast<unsigned long long>(options.file_size), bytes / kMiB,
               options.sparse ? ", sparse" : "",
               static_cast<unsigned long long>(options.volume_size),
               static_cast<double>(options.volume_size) / kMiB, volumes, runs.size(),
               options.dir.c_str());
  std::fprintf(
      out,
      "| run | split s | MiB/s | cat s | MiB/s | split/cat | rebuild s | MiB/s | "
      "cat s | MiB/s | rebuild/cat | peak RSS split MiB | peak RSS rebuild MiB "
      "|\n|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (std::size_t i = 0; i < runs.size(); ++i) {
    std::fputs(Row(std::to_string(i + 1), bytes, runs[i]).c_str(), out);
  }
  const RunFigures median = Medians(runs);
  std::fputs(Row("median", bytes, median).c_str(), out);
  PrintCpuAndMemory(out, runs, median);
  std::fprintf(out, "split %.2fx cat, reconstitute %.2fx cat\n",
               median.split.seconds / median.cat_split.seconds,
               median.rebuild.seconds / median.cat_rebuild.seconds);
}

}  // namespace slicery::bench
