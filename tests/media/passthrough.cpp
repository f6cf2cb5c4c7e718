#include "media/passthrough.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "media/command.h"

namespace slicery::e2e {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Debian's python3-fusepy is installed for the system's interpreter, which
// another python3 earlier on the search path may not see.
constexpr char kPython[] = "/usr/bin/python3";

// The mount points in this process's mount table, octal escapes undone.
std::vector<std::string> MountPoints() {
  std::vector<std::string> points;
  std::ifstream table("/proc/self/mountinfo");
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string id, parent, device, root, point;
    if (!(fields >> id >> parent >> device >> root >> point)) continue;
    std::string plain;
    for (std::size_t i = 0; i < point.size(); ++i) {
      if (point[i] == '\\' && i + 3 < point.size()) {
        plain += static_cast<char>(std::stoi(point.substr(i + 1, 3), nullptr, 8));
        i += 3;
      } else {
        plain += point[i];
      }
    }
    points.push_back(plain);
  }
  return points;
}

// Waits up to `limit` for the child to end; true when it has been reaped.
bool Reap(pid_t pid, std::chrono::milliseconds limit) {
  const Clock::time_point deadline = Clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || done < 0) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

std::string WhyNoPassthrough() {
  if (geteuid() != 0) return "mounting needs root";
  if (access("/dev/fuse", F_OK) != 0) return "no FUSE (/dev/fuse)";
  if (FindProgram("fusermount").empty()) return "fusermount is not installed (fuse)";
  std::string output;
  if (!RunCommand({kPython, "-c", "import fusepy"}, &output)) {
    return std::string("python3-fusepy is not installed for ") + kPython + ": " + output;
  }
  return "";
}

PassthroughMedium::PassthroughMedium(const std::string& dir, PassthroughFault fault,
                                     const std::string& file, std::uint64_t offset,
                                     std::uint64_t end)
    : backing_(dir + "/backing"), mount_point_(dir + "/mnt"), log_(dir + "/server.log") {
  std::error_code ec;
  fs::create_directories(backing_, ec);
  if (!ec) fs::create_directories(mount_point_, ec);
  if (!ec) mount_point_ = fs::canonical(mount_point_, ec).string();
  if (ec) {
    error_ = "cannot make " + dir + ": " + ec.message();
    return;
  }
  if (Start(fault, file, offset, end) && !WaitForMount()) Release();
}

PassthroughMedium::~PassthroughMedium() { Release(); }

bool PassthroughMedium::mounted() const {
  for (const std::string& point : MountPoints()) {
    if (point == mount_point_) return true;
  }
  return false;
}

std::string PassthroughMedium::Log() const {
  std::ifstream in(log_);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool PassthroughMedium::Start(PassthroughFault fault, const std::string& file,
                              std::uint64_t offset, std::uint64_t end) {
  std::vector<std::string> args = {kPython, SLICERY_PASSTHROUGH_FS};
  if (fault == PassthroughFault::kDamage) args.insert(args.end(), {"--damage", file});
  if (fault == PassthroughFault::kFlipByte) {
    args.insert(args.end(), {"--flip", file, std::to_string(offset)});
  }
  if (fault == PassthroughFault::kDetach) args.insert(args.end(), {"--detach", file});
  if (fault == PassthroughFault::kReadError) {
    args.insert(args.end(),
                {"--read-error", file, std::to_string(offset), std::to_string(end)});
  }
  args.insert(args.end(), {backing_, mount_point_});
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int log = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (log >= 0 && null >= 0) server_ = fork();
  if (server_ == 0) {
    if (dup2(null, STDIN_FILENO) < 0 || dup2(log, STDOUT_FILENO) < 0 ||
        dup2(log, STDERR_FILENO) < 0) {
      _exit(127);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (log >= 0) close(log);
  if (null >= 0) close(null);
  if (server_ < 0) error_ = "cannot start " + args[1];
  return server_ > 0;
}

bool PassthroughMedium::WaitForMount() {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
  while (!mounted()) {
    int status = 0;
    if (waitpid(server_, &status, WNOHANG) == server_) {
      server_ = -1;
      error_ = "the pass-through file system ended before it mounted: " + Log();
      return false;
    }
    if (Clock::now() >= deadline) {
      error_ = "the pass-through file system did not mount in 10 s: " + Log();
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A FUSE mount can stay busy for a moment after the last file is closed, so
// the unmount is tried a few times before it is made lazy.
void PassthroughMedium::Release() {
  if (server_ <= 0) return;
  std::string output;
  for (int attempt = 0; attempt < 20 && mounted(); ++attempt) {
    if (RunCommand({"fusermount", "-u", mount_point_}, &output)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (mounted()) {
    cleanup_error_ += Describe({"fusermount", "-u", mount_point_}, output);
    RunCommand({"fusermount", "-uz", mount_point_}, &output);
  }
  if (!Reap(server_, std::chrono::seconds(10))) {
    cleanup_error_ += "the pass-through server did not end; killed. ";
    kill(server_, SIGKILL);
    Reap(server_, std::chrono::seconds(5));
  }
  server_ = -1;
}

}  // namespace slicery::e2e
