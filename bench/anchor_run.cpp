#include "bench/anchor_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace slicery::bench {
namespace {

using Clock = std::chrono::steady_clock;

// Runs in the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void Exec(int output, char* const argv[]) {
  if (output >= 0 && dup2(output, STDOUT_FILENO) < 0) _exit(127);
  execv(argv[0], argv);
  _exit(127);
}

// Runs `args` (args[0] a full path) to its end, with its standard output in
// `output` when that is a descriptor. Its usage, or empty with the reason.
std::optional<ChildUsage> RunTool(std::vector<std::string> args, int output,
                                  std::string* error) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) Exec(output, argv.data());
  if (pid < 0) {
    *error = std::string("fork: ") + std::strerror(errno);
    return std::nullopt;
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      *error = std::string("wait4: ") + std::strerror(errno);
      return std::nullopt;
    }
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = args[0] + " on " + args.back() + " failed";
    return std::nullopt;
  }
  return FromRusage(usage);
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

std::optional<AnchorRun> RunCat(const std::vector<std::string>& inputs,
                                const std::string& output, std::string* error) {
  std::vector<std::string> args = {"/bin/cat"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  const Clock::time_point start = Clock::now();
  const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot create " + output + ": " + std::strerror(errno);
    return std::nullopt;
  }
  std::optional<ChildUsage> usage = RunTool(args, fd, error);
  close(fd);
  if (!usage) return std::nullopt;
  return AnchorRun{SecondsSince(start), *usage};
}

std::optional<AnchorRun> RunCopySyncCompare(const std::string& source,
                                            const std::string& copy, std::string* error) {
  const Clock::time_point start = Clock::now();
  AnchorRun run;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"/bin/cp", source, copy},
        std::vector<std::string>{"/bin/sync", copy},
        std::vector<std::string>{"/usr/bin/cmp", source, copy}}) {
    std::optional<ChildUsage> usage = RunTool(args, -1, error);
    if (!usage) return std::nullopt;
    run.usage = Together(run.usage, *usage);
  }
  run.seconds = SecondsSince(start);
  return run;
}

}  // namespace slicery::bench
