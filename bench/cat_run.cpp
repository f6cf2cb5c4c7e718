#include "bench/cat_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace slicery::bench {
namespace {

constexpr char kCat[] = "/bin/cat";

// Runs in the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecCat(int output, char* const argv[]) {
  if (dup2(output, STDOUT_FILENO) < 0) _exit(127);
  execv(kCat, argv);
  _exit(127);
}

}  // namespace

std::optional<CatRun> RunCat(const std::vector<std::string>& inputs,
                             const std::string& output, std::string* error) {
  std::vector<std::string> args = {kCat};
  args.insert(args.end(), inputs.begin(), inputs.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot create " + output + ": " + std::strerror(errno);
    return std::nullopt;
  }
  const pid_t pid = fork();
  if (pid == 0) ExecCat(fd, argv.data());
  close(fd);
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
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = "cat into " + output + " failed";
    return std::nullopt;
  }
  return CatRun{took.count(), FromRusage(usage)};
}

}  // namespace slicery::bench
