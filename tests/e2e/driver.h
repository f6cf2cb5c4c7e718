// Drives the real slicery binary through its console: starts it with pipes on
// standard input, output and error, recognises each dialog it shows, sends the
// answers and typed file names, and waits for its exit. Every wait has a
// deadline, so a program that hangs is reported, never waited on forever.
//
// Needs only the standard library and POSIX; the end-to-end tests and the
// benchmark both use it.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace slicery::e2e {

struct LaunchOptions {
  std::string program;            // path of the slicery executable
  std::vector<std::string> args;  // the arguments after the program's name
  std::string working_dir;        // empty: the caller's own
  // Set on top of the caller's environment, from which every SLICERY_* variable
  // and every variable listed here is left out, so only what is listed here
  // configures the program.
  std::vector<std::pair<std::string, std::string>> env;
  // Deadline of each wait: for a dialog, for input to be taken, for the exit.
  std::chrono::milliseconds timeout{5000};
};

// One dialog as the console shows it:
// "\n== " caption [" (" icon ")"] " ==\n" text "\n" buttons ": ".
struct Dialog {
  std::string console;  // console text written since the previous dialog
  std::string caption;
  std::string icon;  // "error", "question", "warning", or empty for none
  std::string text;
  std::string buttons;  // "[O]K", "[O]K / [C]ancel", "[Y]es / [N]o / [C]ancel", ...
  // The buttons line alone, shown again after an answer the dialog does not
  // offer; caption, icon and text are then those of the dialog still waiting.
  bool repeated = false;
};

struct ExitStatus {
  bool exited = false;  // ended by exit(); otherwise killed by `signal`
  int code = 0;
  int signal = 0;
  // The program's own resource usage (peak resident set, CPU times), as wait4
  // reports it to the parent that waits for it.
  rusage usage{};
};

class Session {
 public:
  // Starts the program. Null, with the reason in *error, if it cannot start.
  // Ignores SIGPIPE in the calling process from then on, so that input sent to
  // a program that has ended fails instead of killing the caller.
  static std::unique_ptr<Session> Start(const LaunchOptions& options, std::string* error);
  ~Session();  // kills a program still running
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The next dialog. Empty when the program ended first or the deadline
  // passed; error() then says which.
  std::optional<Dialog> NextDialog();
  // Waits until the console shows `text` after the last dialog recognised;
  // false when the program ended first or the deadline passed.
  bool WaitForOutput(std::string_view text);
  // Waits until `seen` holds for the whole of the standard output so far;
  // false when the output ended first or the deadline passed (error() says
  // which, naming `what`).
  bool WaitUntil(const std::function<bool(const std::string&)>& seen,
                 std::string_view what);
  // An answer: the letter and a line end.
  bool Answer(char letter);
  // A typed file name (or any line): the text and a line end.
  bool Type(std::string_view line);
  // Raw bytes for standard input. False when the program no longer reads.
  bool Send(std::string_view bytes);
  // Ends standard input: the program then sees the end of input.
  void CloseInput();
  // Sends `signal` to the program, as Ctrl-C on its terminal sends SIGINT.
  // WaitExit then tells how it ended. False when it cannot be sent.
  bool Signal(int signal);
  // Waits for the program to end, reading the rest of its output. Kills it and
  // returns empty when the deadline passes.
  std::optional<ExitStatus> WaitExit();

  const std::string& Stdout() const { return out_; }
  const std::string& Stderr() const { return err_; }
  // Console text after the last dialog recognised.
  std::string TrailingConsole() const { return out_.substr(consumed_); }
  // Output interleaved with what was sent, then standard error, for failure
  // messages.
  std::string Transcript() const;
  const std::string& error() const { return error_; }
  void set_timeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

 private:
  using Clock = std::chrono::steady_clock;
  Session(pid_t pid, int in, int out, int err, std::chrono::milliseconds timeout);

  // Moves bytes between the pipes until one of them changes or `deadline`
  // passes; false at the deadline or when nothing is left to wait for.
  bool Pump(Clock::time_point deadline);
  void ReadFrom(int* fd, std::string* into, bool to_transcript);
  void WritePending();
  std::optional<Dialog> ParseDialog();
  void Kill();

  pid_t pid_;
  int in_fd_, out_fd_, err_fd_;
  std::chrono::milliseconds timeout_;
  std::string out_, err_, transcript_, pending_in_, error_;
  std::size_t consumed_ = 0;   // end of the last dialog in out_
  std::size_t scan_from_ = 0;  // where to look for the next dialog header
  std::string last_buttons_;
  Dialog last_dialog_;
  std::optional<ExitStatus> status_;
};

// Renders a dialog as the program writes it; for messages and comparisons.
std::string Render(const Dialog& dialog);

}  // namespace slicery::e2e
