// The benchmark's table: one row per run and a row of medians, then the ratios
// of the medians to cat's on the last line:
// "split 1.08x cat, reconstitute 1.11x cat".
#pragma once

#include <cstdio>
#include <vector>

#include "bench/options.h"
#include "bench/run.h"

namespace slicery::bench {

double Median(std::vector<double> values);

void PrintReport(std::FILE* out, const Options& options, int volumes,
                 const std::vector<RunFigures>& runs);

}  // namespace slicery::bench
