// slicery_bench: times slicery's split and rebuild of one file against cat
// copying the same bytes between the same places, checks the rebuilt file byte
// for byte, and reports medians and peak memory. See --help.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/data.h"
#include "bench/options.h"
#include "bench/report.h"
#include "bench/room.h"
#include "bench/run.h"
#include "bench/workspace.h"

namespace {

using namespace slicery::bench;

constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

int Fail(const std::string& error) {
  std::fprintf(stderr, "slicery_bench: %s\n", error.c_str());
  return kFailed;
}

ProgramSetup Setup(const Options& options) {
  ProgramSetup setup;
  setup.program = options.program.empty() ? SLICERY_BINARY : options.program;
  setup.volume_size = options.volume_size;
  setup.timeout = std::chrono::seconds(options.timeout_seconds);
  return setup;
}

void PrintProgress(int index, int runs, const RunFigures& run) {
  std::fprintf(stderr,
               "run %d/%d: split %.3f s (cat %.3f s), rebuild %.3f s (cat %.3f s), "
               "rebuilt file identical\n",
               index + 1, runs, run.split.seconds, run.cat_split.seconds,
               run.rebuild.seconds, run.cat_rebuild.seconds);
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const std::optional<Options> options = ParseOptions(argc, argv, &error);
  if (!options) {
    std::fputs(error.c_str(), stderr);
    return kBadUsage;
  }
  if (options->help) {
    std::fputs(UsageText(), stdout);
    return 0;
  }
  Workspace workspace(options->dir);
  if (!workspace.error().empty()) return Fail(workspace.error());
  if (!CheckRoom(options->dir, BytesNeeded(options->file_size, options->sparse),
                 &error)) {
    return Fail(error);
  }
  const std::string source = workspace.Work("source.bin");
  const bool made = options->sparse
                        ? MakeSparseSource(source, options->file_size, &error)
                        : MakeRandomSource(source, options->file_size, &error);
  if (!made) return Fail(error);
  const ProgramSetup setup = Setup(*options);
  std::vector<RunFigures> runs;
  for (int i = 0; i < options->runs; ++i) {
    std::optional<RunFigures> run = RunOnce(*options, setup, workspace, i, &error);
    if (!run) return Fail("run " + std::to_string(i + 1) + ": " + error);
    PrintProgress(i, options->runs, *run);
    runs.push_back(*run);
  }
  const int volumes =
      static_cast<int>(ExpectedChunks(options->file_size, options->volume_size).size());
  PrintReport(stdout, *options, volumes, runs);
  return std::fflush(stdout) == 0 ? 0 : kFailed;
}
