#include "media/medium.h"

#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace slicery::e2e {
namespace {

namespace fs = std::filesystem;

// The system programs live in sbin, which a plain user's PATH may lack.
std::string SearchPath() {
  const char* path = std::getenv("PATH");
  return std::string(path != nullptr ? path : "/usr/bin:/bin") + ":/usr/sbin:/sbin";
}

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

// Runs a command to its end; standard output and error go to *output. True
// when it exited with status 0.
bool Run(const std::vector<std::string>& argv, std::string* output) {
  const std::string program = FindProgram(argv[0]);
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

std::vector<std::string> ProgramsFor(const MediumKind& kind) {
  std::vector<std::string> programs = {"mount", "umount"};
  if (kind.type != MediumType::kTmpfs) {
    programs.insert(programs.end(), {"losetup", kind.format.front()});
  }
  if (kind.type == MediumType::kExfatFuse) programs.push_back("mount.exfat-fuse");
  return programs;
}

}  // namespace

std::string WhyNoMedia(const MediumKind& kind) {
  if (geteuid() != 0) return "mounting needs root";
  if (kind.type != MediumType::kTmpfs && access("/dev/loop-control", F_OK) != 0) {
    return "no loop devices (/dev/loop-control)";
  }
  if (kind.type == MediumType::kExfatFuse && access("/dev/fuse", F_OK) != 0) {
    return "no FUSE (/dev/fuse)";
  }
  for (const std::string& program : ProgramsFor(kind)) {
    if (FindProgram(program).empty()) return program + " is not installed";
  }
  return "";
}

Medium::Medium(const MediumKind& kind, const std::string& dir)
    : image_(dir + "/image"), mount_point_(dir + "/mnt") {
  std::error_code ec;
  fs::create_directories(mount_point_, ec);
  if (ec) {
    error_ = "cannot make " + mount_point_ + ": " + ec.message();
    return;
  }
  mounted_ = Mount(kind);
}

Medium::~Medium() { Release(); }

bool Medium::Mount(const MediumKind& kind) {
  std::string output;
  std::vector<std::string> command;
  if (kind.type == MediumType::kTmpfs) {
    command = {
        "mount",         "-t",        "tmpfs", "-o", "size=" + std::to_string(kind.size),
        "slicery-media", mount_point_};
    if (!Run(command, &output)) error_ = Describe(command, output);
    return error_.empty();
  }
  { std::ofstream(image_, std::ios::binary).flush(); }
  std::error_code ec;
  fs::resize_file(image_, kind.size, ec);
  command = kind.format;
  command.push_back(image_);
  if (ec || !Run(command, &output)) {
    error_ =
        ec ? "cannot make " + image_ + ": " + ec.message() : Describe(command, output);
    return false;
  }
  command = {"losetup", "--find", "--show", image_};
  if (!Run(command, &output) || output.rfind("/dev/", 0) != 0) {
    error_ = Describe(command, output);
    return false;
  }
  loop_device_ = output.substr(0, output.find('\n'));
  command = {kind.type == MediumType::kExfatFuse ? "mount.exfat-fuse" : "mount",
             loop_device_, mount_point_};
  if (!Run(command, &output)) error_ = Describe(command, output);
  return error_.empty();
}

// A FUSE mount can stay busy for a moment after the last file is closed, so
// the unmount is tried a few times before it is forced.
bool Medium::Unmount() {
  std::string output;
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (Run({"umount", mount_point_}, &output)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  cleanup_error_ += Describe({"umount", mount_point_}, output);
  return Run({"umount", "--lazy", mount_point_}, &output);
}

void Medium::Release() {
  if (mounted_) mounted_ = !Unmount();
  std::string output;
  if (!loop_device_.empty() && !Run({"losetup", "--detach", loop_device_}, &output)) {
    cleanup_error_ += Describe({"losetup", "--detach", loop_device_}, output);
  }
  loop_device_.clear();
}

std::optional<Space> MeasureSpace(const std::string& dir) {
  struct statvfs fs;
  if (statvfs(dir.c_str(), &fs) != 0) return std::nullopt;
  const std::uint64_t unit = fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize;
  return Space{std::uint64_t{fs.f_bavail} * unit, unit};
}

}  // namespace slicery::e2e
