#include "e2e/driver.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <thread>

extern char** environ;

namespace slicery::e2e {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::string_view kHeaderStart = "\n== ";
constexpr std::string_view kHeaderEnd = " ==\n";
constexpr std::array<std::string_view, 4> kButtonLines = {
    "[O]K", "[O]K / [C]ancel", "[Y]es / [N]o / [C]ancel", "[Y]es / [N]o"};

void CloseFd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

// The caller's environment without SLICERY_* and without what the given
// variables replace, then the given variables.
std::vector<std::string> ChildEnvironment(
    const std::vector<std::pair<std::string, std::string>>& extra) {
  std::vector<std::string> env;
  for (char** var = environ; *var != nullptr; ++var) {
    const std::string_view entry(*var);
    const bool replaced = std::any_of(extra.begin(), extra.end(), [&](const auto& given) {
      return entry.starts_with(given.first + "=");
    });
    if (!entry.starts_with("SLICERY_") && !replaced) env.emplace_back(entry);
  }
  for (const auto& [name, value] : extra) env.push_back(name + "=" + value);
  return env;
}

// Runs in the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecChild(const char* program, const char* dir, char* const argv[],
                            char* const envp[], const int fds[3], int report_fd) {
  for (int target = 0; target < 3; ++target) {
    if (dup2(fds[target], target) < 0) _exit(127);
  }
  signal(SIGPIPE, SIG_DFL);  // the test ignores it; the program must not
  // Ctrl-C ends the program as on a terminal, even where the tests were started
  // in the background, which ignores it.
  signal(SIGINT, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (*dir != '\0' && chdir(dir) != 0) {
    const int code = errno;
    (void)!write(report_fd, &code, sizeof code);
    _exit(127);
  }
  execve(program, argv, envp);
  const int code = errno;
  (void)!write(report_fd, &code, sizeof code);
  _exit(127);
}

// The child's three standard streams and the pipe on which a failed exec
// reports its errno; each pair is {read end, write end}.
struct Pipes {
  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1}, report[2] = {-1, -1};

  bool Open() {
    for (int* pair : {in, out, err, report}) {
      if (pipe2(pair, O_CLOEXEC) != 0) return false;
    }
    return true;
  }
  void CloseAll() {
    for (int* pair : {in, out, err, report}) {
      CloseFd(&pair[0]);
      CloseFd(&pair[1]);
    }
  }
};

// Forks and execs the program; the errno of a failed fork or exec, else 0.
int Spawn(const LaunchOptions& options, Pipes& pipes, pid_t* pid) {
  std::vector<std::string> env = ChildEnvironment(options.env);
  std::vector<char*> envp;
  for (std::string& var : env) envp.push_back(var.data());
  envp.push_back(nullptr);
  std::string program = options.program;
  std::vector<std::string> args = options.args;
  std::vector<char*> argv{program.data()};
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  *pid = fork();
  if (*pid < 0) return errno;
  if (*pid == 0) {
    const int fds[3] = {pipes.in[0], pipes.out[1], pipes.err[1]};
    ExecChild(program.c_str(), options.working_dir.c_str(), argv.data(), envp.data(), fds,
              pipes.report[1]);
  }
  for (int* fd : {&pipes.in[0], &pipes.out[1], &pipes.err[1], &pipes.report[1]}) {
    CloseFd(fd);
  }
  // The report pipe closes unread on a successful exec.
  int exec_errno = 0;
  ssize_t got;
  do {
    got = read(pipes.report[0], &exec_errno, sizeof exec_errno);
  } while (got < 0 && errno == EINTR);
  CloseFd(&pipes.report[0]);
  if (got != sizeof exec_errno) return 0;
  waitpid(*pid, nullptr, 0);
  return exec_errno;
}

// The first of the four buttons lines that ends a dialog text at or after
// `from`: its position (of the "\n" before it) and the line.
std::optional<std::pair<std::size_t, std::string_view>> FindButtons(
    const std::string& out, std::size_t from) {
  std::optional<std::pair<std::size_t, std::string_view>> best;
  for (std::string_view line : kButtonLines) {
    const std::string needle = "\n" + std::string(line) + ": ";
    const std::size_t at = out.find(needle, from);
    if (at != std::string::npos && (!best || at < best->first)) best.emplace(at, line);
  }
  return best;
}

// A program that runs away can write megabytes before its deadline; a failure
// message keeps the start and the end of it.
std::string Shortened(const std::string& text) {
  constexpr std::size_t kHead = 16 * 1024, kTail = 48 * 1024;
  if (text.size() <= kHead + kTail) return text;
  return text.substr(0, kHead) + "\n[... " + std::to_string(text.size() - kHead - kTail) +
         " bytes left out ...]\n" + text.substr(text.size() - kTail);
}

}  // namespace

std::unique_ptr<Session> Session::Start(const LaunchOptions& options,
                                        std::string* error) {
  signal(SIGPIPE, SIG_IGN);  // a program that ended must not kill the driver
  Pipes pipes;
  if (!pipes.Open()) {
    *error = std::string("pipe: ") + std::strerror(errno);
    pipes.CloseAll();
    return nullptr;
  }
  pid_t pid = -1;
  if (const int failure = Spawn(options, pipes, &pid); failure != 0) {
    *error = "cannot start " + options.program + ": " + std::strerror(failure);
    pipes.CloseAll();
    return nullptr;
  }
  for (int fd : {pipes.in[1], pipes.out[0], pipes.err[0]}) {
    fcntl(fd, F_SETFL, O_NONBLOCK);
  }
  return std::unique_ptr<Session>(
      new Session(pid, pipes.in[1], pipes.out[0], pipes.err[0], options.timeout));
}

Session::Session(pid_t pid, int in, int out, int err, std::chrono::milliseconds timeout)
    : pid_(pid), in_fd_(in), out_fd_(out), err_fd_(err), timeout_(timeout) {}

Session::~Session() {
  if (!status_) Kill();
  CloseFd(&in_fd_);
  CloseFd(&out_fd_);
  CloseFd(&err_fd_);
}

void Session::Kill() {
  kill(pid_, SIGKILL);
  int raw = 0;
  rusage usage{};
  if (wait4(pid_, &raw, 0, &usage) == pid_) {
    status_ = ExitStatus{false, 0, SIGKILL, usage};
  }
}

void Session::ReadFrom(int* fd, std::string* into, bool to_transcript) {
  char buffer[kReadChunk];
  for (;;) {
    const ssize_t got = read(*fd, buffer, sizeof buffer);
    if (got > 0) {
      into->append(buffer, static_cast<std::size_t>(got));
      if (to_transcript) transcript_.append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == EAGAIN) return;
    CloseFd(fd);  // end of output, or an error that ends it all the same
    return;
  }
}

void Session::WritePending() {
  while (!pending_in_.empty() && in_fd_ >= 0) {
    const ssize_t put = write(in_fd_, pending_in_.data(), pending_in_.size());
    if (put > 0) {
      pending_in_.erase(0, static_cast<std::size_t>(put));
    } else if (put < 0 && errno == EINTR) {
      continue;
    } else if (put < 0 && errno == EAGAIN) {
      return;
    } else {
      error_ = "the program no longer reads its input";
      pending_in_.clear();
      CloseFd(&in_fd_);
    }
  }
}

bool Session::Pump(Clock::time_point deadline) {
  std::array<pollfd, 3> fds{};
  nfds_t count = 0;
  if (out_fd_ >= 0) fds[count++] = {out_fd_, POLLIN, 0};
  if (err_fd_ >= 0) fds[count++] = {err_fd_, POLLIN, 0};
  if (in_fd_ >= 0 && !pending_in_.empty()) fds[count++] = {in_fd_, POLLOUT, 0};
  if (count == 0) return false;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return false;
  const int ready = poll(fds.data(), count, static_cast<int>(left.count()));
  if (ready < 0) return errno == EINTR;
  if (ready == 0) return false;
  for (nfds_t i = 0; i < count; ++i) {
    if (fds[i].revents == 0) continue;
    if (fds[i].fd == out_fd_)
      ReadFrom(&out_fd_, &out_, true);
    else if (fds[i].fd == err_fd_)
      ReadFrom(&err_fd_, &err_, false);
    else
      WritePending();
  }
  return true;
}

std::optional<Dialog> Session::ParseDialog() {
  // The same buttons line again: an answer the dialog did not offer.
  if (!last_buttons_.empty() &&
      out_.compare(consumed_, last_buttons_.size(), last_buttons_) == 0) {
    consumed_ += last_buttons_.size();
    scan_from_ = consumed_;
    Dialog again = last_dialog_;
    again.console.clear();
    again.repeated = true;
    return again;
  }
  const std::size_t start = out_.find(kHeaderStart, std::max(scan_from_, consumed_));
  if (start == std::string::npos) {
    scan_from_ =
        std::max(consumed_, out_.size() - std::min(out_.size(), kHeaderStart.size()));
    return std::nullopt;
  }
  scan_from_ = start;
  const std::size_t header = start + kHeaderStart.size();
  const std::size_t header_end = out_.find(kHeaderEnd, header);
  if (header_end == std::string::npos) return std::nullopt;
  const std::size_t text = header_end + kHeaderEnd.size();
  const auto buttons = FindButtons(out_, text);
  if (!buttons) return std::nullopt;
  Dialog dialog;
  dialog.console = out_.substr(consumed_, start - consumed_);
  dialog.caption = out_.substr(header, header_end - header);
  const std::size_t icon = dialog.caption.rfind(" (");
  if (icon != std::string::npos && dialog.caption.back() == ')') {
    dialog.icon = dialog.caption.substr(icon + 2, dialog.caption.size() - icon - 3);
    dialog.caption.resize(icon);
  }
  dialog.text = out_.substr(text, buttons->first - text);
  dialog.buttons = buttons->second;
  consumed_ = buttons->first + 1 + dialog.buttons.size() + 2;
  scan_from_ = consumed_;
  last_buttons_ = dialog.buttons + ": ";
  last_dialog_ = dialog;
  return dialog;
}

std::optional<Dialog> Session::NextDialog() {
  const Clock::time_point deadline = Clock::now() + timeout_;
  for (;;) {
    if (std::optional<Dialog> dialog = ParseDialog()) return dialog;
    if (out_fd_ < 0) {
      error_ = "the program closed its output before the next dialog";
      return std::nullopt;
    }
    if (!Pump(deadline) && Clock::now() >= deadline) {
      error_ = "no dialog within " + std::to_string(timeout_.count()) + " ms";
      return std::nullopt;
    }
  }
}

bool Session::WaitForOutput(std::string_view text) {
  const std::size_t from = consumed_;
  return WaitUntil(
      [&](const std::string& out) { return out.find(text, from) != std::string::npos; },
      "\"" + std::string(text) + "\"");
}

bool Session::WaitUntil(const std::function<bool(const std::string&)>& seen,
                        std::string_view what) {
  const Clock::time_point deadline = Clock::now() + timeout_;
  while (!seen(out_)) {
    if (out_fd_ < 0) {
      error_ = "the program closed its output before " + std::string(what);
      return false;
    }
    if (!Pump(deadline) && Clock::now() >= deadline) {
      error_ = "no " + std::string(what) + " within " + std::to_string(timeout_.count()) +
               " ms";
      return false;
    }
  }
  return true;
}

bool Session::Send(std::string_view bytes) {
  if (in_fd_ < 0) {
    error_ = "standard input is closed";
    return false;
  }
  pending_in_.append(bytes);
  transcript_.append(bytes);
  const Clock::time_point deadline = Clock::now() + timeout_;
  WritePending();
  while (!pending_in_.empty() && Pump(deadline)) {
  }
  if (!pending_in_.empty()) error_ = "input not taken within the deadline";
  return pending_in_.empty() && in_fd_ >= 0;
}

bool Session::Answer(char letter) { return Send(std::string(1, letter) + "\n"); }

bool Session::Type(std::string_view line) { return Send(std::string(line) + "\n"); }

void Session::CloseInput() {
  transcript_ += "<end of input>";
  CloseFd(&in_fd_);
}

bool Session::Signal(int signal) {
  if (status_) return false;
  transcript_ += "<signal " + std::to_string(signal) + ">";
  return kill(pid_, signal) == 0;
}

std::optional<ExitStatus> Session::WaitExit() {
  if (status_) return status_;
  const Clock::time_point deadline = Clock::now() + timeout_;
  while ((out_fd_ >= 0 || err_fd_ >= 0) && Pump(deadline)) {
  }
  for (;;) {
    int raw = 0;
    rusage usage{};
    const pid_t done = wait4(pid_, &raw, WNOHANG, &usage);
    if (done == pid_) {
      status_ = WIFEXITED(raw) ? ExitStatus{true, WEXITSTATUS(raw), 0, usage}
                               : ExitStatus{false, 0, WTERMSIG(raw), usage};
      return status_;
    }
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  error_ = "the program did not end within " + std::to_string(timeout_.count()) + " ms";
  Kill();
  return std::nullopt;
}

std::string Session::Transcript() const {
  std::string all = "---- console (output and input) ----\n" + Shortened(transcript_) +
                    "\n---- standard error ----\n" + Shortened(err_);
  if (!error_.empty()) all += "\n---- driver ----\n" + error_;
  return all + "\n";
}

std::string Render(const Dialog& dialog) {
  if (dialog.repeated) return dialog.buttons + ": ";
  std::string header = dialog.caption;
  if (!dialog.icon.empty()) header += " (" + dialog.icon + ")";
  return "\n== " + header + " ==\n" + dialog.text + "\n" + dialog.buttons + ": ";
}

}  // namespace slicery::e2e
