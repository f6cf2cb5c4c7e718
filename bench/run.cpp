#include "bench/run.h"

#include <cstdio>
#include <functional>
#include <vector>

#include "bench/data.h"
#include "bench/dialogs.h"
#include "e2e/drive.h"

namespace slicery::bench {
namespace {

constexpr char kCatOutput[] = "cat.out";

// What one run works on.
struct RunPlan {
  const Options& options;
  const ProgramSetup& setup;
  Workspace& workspace;
  e2e::Drive& drive;
  std::string source, target;
  std::vector<std::uint64_t> chunks;  // the set's chunk lengths
  bool cat_first;
};

// Runs cat into `output` and removes the copy at once, so it never takes a
// volume's room nor holds memory beside the next phase.
bool TimeCat(const std::vector<std::string>& inputs, const std::string& output,
             CatRun* figures, std::string* error) {
  std::optional<CatRun> run = RunCat(inputs, output, error);
  std::remove(output.c_str());
  if (run) *figures = *run;
  return run.has_value();
}

// Runs both steps, cat's first when `cat_first`.
bool InOrder(bool cat_first, const std::function<bool()>& cat,
             const std::function<bool()>& program) {
  return cat_first ? cat() && program() : program() && cat();
}

std::vector<std::string> DataFiles(const e2e::Drive& drive, std::size_t volumes) {
  std::vector<std::string> files;
  for (std::size_t n = 1; n <= volumes; ++n) {
    files.push_back(drive.FileOn(std::to_string(n), kDataFile));
  }
  return files;
}

// The split by slicery and cat's copy of the source into the volume folder;
// then every volume must hold its chunk.
bool SplitStep(const RunPlan& plan, RunFigures* figures, std::string* error) {
  const bool timed = InOrder(
      plan.cat_first,
      [&] {
        return TimeCat({plan.source}, plan.drive.path() + "/" + kCatOutput,
                       &figures->cat_split, error);
      },
      [&] {
        std::optional<Phase> phase = RunSplit(plan.setup, plan.drive, plan.source, error);
        if (phase) figures->split = *phase;
        return phase.has_value();
      });
  if (!timed || !CheckChunks(plan.drive, plan.chunks, error)) return false;
  if (static_cast<std::size_t>(figures->split.volumes) == plan.chunks.size()) return true;
  *error = "the split asked for " + std::to_string(figures->split.volumes) +
           " volumes, expected " + std::to_string(plan.chunks.size());
  return false;
}

// The rebuild by slicery, checked byte for byte, and cat's copy of the
// volumes' data files into a file beside the target.
bool RebuildStep(const RunPlan& plan, RunFigures* figures, std::string* error) {
  const int volumes = static_cast<int>(plan.chunks.size());
  return InOrder(
      plan.cat_first,
      [&] {
        return TimeCat(DataFiles(plan.drive, plan.chunks.size()),
                       plan.workspace.Work(kCatOutput), &figures->cat_rebuild, error);
      },
      [&] {
        std::optional<Phase> phase = RunReconstitute(plan.setup, plan.drive, volumes,
                                                     plan.source, plan.target, error);
        if (!phase) return false;
        figures->rebuild = *phase;
        // Checked and removed before cat's copy is made beside it.
        const bool same =
            (!plan.options.damage_target || FlipFirstByte(plan.target, error)) &&
            CheckRebuilt(plan.source, plan.target, error);
        std::remove(plan.target.c_str());
        return same;
      });
}

}  // namespace

std::optional<RunFigures> RunOnce(const Options& options, const ProgramSetup& setup,
                                  Workspace& workspace, int index, std::string* error) {
  if (!workspace.ClearVolumes(error)) return std::nullopt;
  e2e::Drive drive(workspace.root());
  const RunPlan plan{options,
                     setup,
                     workspace,
                     drive,
                     workspace.Work("source.bin"),
                     workspace.Work("rebuilt.bin"),
                     ExpectedChunks(options.file_size, options.volume_size),
                     index % 2 == 1};
  std::remove(plan.target.c_str());
  RunFigures figures;
  if (!SplitStep(plan, &figures, error) || !RebuildStep(plan, &figures, error) ||
      !workspace.ClearVolumes(error)) {
    return std::nullopt;
  }
  return figures;
}

}  // namespace slicery::bench
