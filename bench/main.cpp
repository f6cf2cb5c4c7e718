// slicery_bench: times slicery's split, with and without the read-back of
// every volume, and its rebuild of one file against standard tools copying the
// same bytes between the same places, checks the rebuilt file byte for byte,
// and reports medians and peak memory, for each working folder given and side
// by side. See --help.
#include <chrono>
#include <cstdio>
#include <optional>
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

void PrintProgress(const std::string& dir, int index, int runs, const RunFigures& run) {
  std::fprintf(stderr,
               "%s, run %d/%d: verified split %.3f s (cp+sync+cmp %.3f s), split %.3f s "
               "(cat %.3f s), rebuild %.3f s (cat %.3f s), rebuilt file identical\n",
               dir.c_str(), index + 1, runs, run.verified_split.seconds,
               run.cp_sync_cmp.seconds, run.split.seconds, run.cat_split.seconds,
               run.rebuild.seconds, run.cat_rebuild.seconds);
}

// Every run in one working folder, then its table. Its medians, or empty with
// the reason in *error.
std::optional<Place> RunIn(const Options& options, const std::string& dir,
                           std::string* error) {
  Workspace workspace(dir);
  if (!workspace.error().empty()) {
    *error = workspace.error();
    return std::nullopt;
  }
  if (!CheckRoom(dir, BytesNeeded(options.file_size, options.sparse), error)) {
    return std::nullopt;
  }
  const std::string source = workspace.Work("source.bin");
  const bool made = options.sparse ? MakeSparseSource(source, options.file_size, error)
                                   : MakeRandomSource(source, options.file_size, error);
  if (!made) return std::nullopt;
  const ProgramSetup setup = Setup(options);
  std::vector<RunFigures> runs;
  for (int i = 0; i < options.runs; ++i) {
    std::optional<RunFigures> run = RunOnce(options, setup, workspace, i, error);
    if (!run) {
      *error = dir + ", run " + std::to_string(i + 1) + ": " + *error;
      return std::nullopt;
    }
    PrintProgress(dir, i, options.runs, *run);
    runs.push_back(*run);
  }
  const int volumes =
      static_cast<int>(ExpectedChunks(options.file_size, options.volume_size).size());
  return PrintReport(stdout, options, dir, FileSystemOf(dir), volumes, runs);
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
  std::vector<Place> places;
  for (const std::string& dir : options->dirs) {
    if (!places.empty()) std::fputs("\n", stdout);
    std::optional<Place> place = RunIn(*options, dir, &error);
    if (!place) return Fail(error);
    places.push_back(*place);
  }
  if (places.size() > 1) PrintSideBySide(stdout, places);
  return std::fflush(stdout) == 0 ? 0 : kFailed;
}
