#include "media/command.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace slicery::e2e {
namespace {

// The system programs live in sbin, which a plain user's PATH may lack.
std::string SearchPath() {
  const char* path = std::getenv("PATH");
  return std::string(path != nullptr ? path : "/usr/bin:/bin") + ":/usr/sbin:/sbin";
}

}  // namespace

std::string FindProgram(const std::string& name) {
  std::string dirs = SearchPath();
  for (std::size_t start = 0; start <= dirs.size();) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

bool RunCommand(const std::vector<std::string>& argv, std::string* output) {
  const std::string program =
      argv[0].find('/') != std::string::npos ? argv[0] : FindProgram(argv[0]);
  if (program.empty()) {
    *output = argv[0] + ": not found";
    return false;
  }
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return false;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipe_fds[1], STDOUT_FILENO);
    dup2(pipe_fds[1], STDERR_FILENO);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(program.c_str(), args.data());
    _exit(127);
  }
  close(pipe_fds[1]);
  output->clear();
  char buffer[4096];
  for (ssize_t got; (got = read(pipe_fds[0], buffer, sizeof buffer)) > 0;) {
    output->append(buffer, static_cast<std::size_t>(got));
  }
  close(pipe_fds[0]);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Describe(const std::vector<std::string>& argv, const std::string& output) {
  std::string line;
  for (const std::string& arg : argv) line += (line.empty() ? "" : " ") + arg;
  return "`" + line + "` failed: " + output;
}

}  // namespace slicery::e2e
