// Runs the program named in SLICERY_BENCH_PROGRAM on this process's standard
// streams and environment (less the wrapper's two variables), waits for it,
// writes its peak resident set and CPU times to the file named in
// SLICERY_BENCH_USAGE, and ends as the program ended.
//
// The benchmark starts slicery through this wrapper: the driver keeps the pid
// of what it starts to itself, and only the parent that waits for a process
// gets its resource usage.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/usage.h"

namespace {

constexpr int kCannotRun = 127;

// Ends this process the way the program ended: its status, or its signal.
[[noreturn]] void EndLike(int status) {
  if (WIFEXITED(status)) std::exit(WEXITSTATUS(status));
  const int signal_number = WTERMSIG(status);
  signal(signal_number, SIG_DFL);
  raise(signal_number);
  std::exit(128 + signal_number);
}

[[noreturn]] void ExecProgram(std::string program, pid_t parent) {
  // The driver kills the wrapper when a run goes wrong; the program goes too.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(kCannotRun);
  char* argv[] = {program.data(), nullptr};
  execv(program.c_str(), argv);
  std::perror(program.c_str());
  _exit(kCannotRun);
}

}  // namespace

int main() {
  using slicery::bench::kProgramVariable;
  using slicery::bench::kUsageVariable;
  const char* program = std::getenv(kProgramVariable);
  const char* usage_file = std::getenv(kUsageVariable);
  if (program == nullptr || usage_file == nullptr) {
    std::fprintf(stderr, "%s and %s must name the program and the usage file\n",
                 kProgramVariable, kUsageVariable);
    return kCannotRun;
  }
  const std::string program_path = program, usage_path = usage_file;
  unsetenv(kProgramVariable);
  unsetenv(kUsageVariable);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) return kCannotRun;
  if (pid == 0) ExecProgram(program_path, parent);
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) return kCannotRun;
  }
  if (!slicery::bench::WriteUsage(usage_path, slicery::bench::FromRusage(usage))) {
    std::perror(usage_path.c_str());
    return kCannotRun;
  }
  EndLike(status);
}
