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

// Runs a tool into `output` and removes the copy at once, so it never takes a
// volume's room nor holds memory beside the next phase.
bool TimeTool(const std::function<std::optional<AnchorRun>()>& tool,
              const std::string& output, AnchorRun* figures) {
  std::optional<AnchorRun> run = tool();
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

// A split by slicery, with or without the read-back, and its tool's copy of
// the source into the volume folder; then every volume must hold its chunk.
bool SplitStep(const RunPlan& plan, bool read_back, RunFigures* figures,
               std::string* error) {
  const std::string copy = plan.drive.path() + "/" + kCatOutput;
  Phase* phase = read_back ? &figures->verified_split : &figures->split;
  const bool timed = InOrder(
      plan.cat_first,
      [&] {
        if (read_back) {
          return TimeTool([&] { return RunCopySyncCompare(plan.source, copy, error); },
                          copy, &figures->cp_sync_cmp);
        }
        return TimeTool([&] { return RunCat({plan.source}, copy, error); }, copy,
                        &figures->cat_split);
      },
      [&] {
        std::optional<Phase> done =
            RunSplit(plan.setup, plan.drive, plan.source, read_back, error);
        if (done) *phase = *done;
        return done.has_value();
      });
  if (!timed || !CheckChunks(plan.drive, plan.chunks, error)) return false;
  if (static_cast<std::size_t>(phase->volumes) == plan.chunks.size()) return true;
  *error = "the split asked for " + std::to_string(phase->volumes) +
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
        const std::string copy = plan.workspace.Work(kCatOutput);
        return TimeTool(
            [&] {
              return RunCat(DataFiles(plan.drive, plan.chunks.size()), copy, error);
            },
            copy, &figures->cat_rebuild);
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

// Blank volumes, then the steps on them.
bool OnBlankVolumes(const Options& options, const ProgramSetup& setup,
                    Workspace& workspace, int index,
                    const std::function<bool(const RunPlan&)>& steps,
                    std::string* error) {
  if (!workspace.ClearVolumes(error)) return false;
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
  return steps(plan) && workspace.ClearVolumes(error);
}

}  // namespace

std::optional<RunFigures> RunOnce(const Options& options, const ProgramSetup& setup,
                                  Workspace& workspace, int index, std::string* error) {
  RunFigures figures;
  // The rebuild reads the verified split's set; the split without the
  // read-back makes a set of its own.
  const bool done =
      OnBlankVolumes(
          options, setup, workspace, index,
          [&](const RunPlan& plan) {
            return SplitStep(plan, true, &figures, error) &&
                   RebuildStep(plan, &figures, error);
          },
          error) &&
      OnBlankVolumes(
          options, setup, workspace, index,
          [&](const RunPlan& plan) { return SplitStep(plan, false, &figures, error); },
          error);
  if (!done) return std::nullopt;
  return figures;
}

}  // namespace slicery::bench
