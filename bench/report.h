// The benchmark's tables: for each working folder one row per run and a row of
// medians, then the ratios of the medians on its last line:
// "verified split 1.04x cp+sync+cmp, split 0.98x cat, reconstitute 1.02x cat".
// With more than one folder, a table of the medians side by side follows.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "bench/options.h"
#include "bench/run.h"

namespace slicery::bench {

double Median(std::vector<double> values);

// The medians of one folder's runs, for the side-by-side table.
struct Place {
  std::string dir;
  std::string file_system;
  RunFigures median;
};

// Prints one folder's table; returns its medians.
Place PrintReport(std::FILE* out, const Options& options, const std::string& dir,
                  const std::string& file_system, int volumes,
                  const std::vector<RunFigures>& runs);

void PrintSideBySide(std::FILE* out, const std::vector<Place>& places);

}  // namespace slicery::bench
