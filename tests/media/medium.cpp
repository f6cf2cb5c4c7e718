#include "media/medium.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "media/command.h"

namespace slicery::e2e {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> ProgramsFor(const MediumKind& kind) {
  std::vector<std::string> programs = {"mount", "umount"};
  if (kind.type != MediumType::kTmpfs) {
    programs.insert(programs.end(), {"losetup", kind.format.front()});
  }
  if (kind.type == MediumType::kExfatFuse) programs.push_back("mount.exfat-fuse");
  return programs;
}

}  // namespace

bool MediaRequired() {
  const char* required = std::getenv("SLICERY_MEDIA_REQUIRED");
  return required != nullptr && std::string(required) == "1";
}

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
    if (!RunCommand(command, &output)) error_ = Describe(command, output);
    return error_.empty();
  }
  { std::ofstream(image_, std::ios::binary).flush(); }
  std::error_code ec;
  fs::resize_file(image_, kind.size, ec);
  command = kind.format;
  command.push_back(image_);
  if (ec || !RunCommand(command, &output)) {
    error_ =
        ec ? "cannot make " + image_ + ": " + ec.message() : Describe(command, output);
    return false;
  }
  command = {"losetup", "--find", "--show", image_};
  if (!RunCommand(command, &output) || output.rfind("/dev/", 0) != 0) {
    error_ = Describe(command, output);
    return false;
  }
  loop_device_ = output.substr(0, output.find('\n'));
  command = {kind.type == MediumType::kExfatFuse ? "mount.exfat-fuse" : "mount",
             loop_device_, mount_point_};
  if (!RunCommand(command, &output)) error_ = Describe(command, output);
  return error_.empty();
}

// A FUSE mount can stay busy for a moment after the last file is closed, so
// the unmount is tried a few times before it is forced.
bool Medium::Unmount() {
  std::string output;
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (RunCommand({"umount", mount_point_}, &output)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  cleanup_error_ += Describe({"umount", mount_point_}, output);
  return RunCommand({"umount", "--lazy", mount_point_}, &output);
}

void Medium::Release() {
  if (mounted_) mounted_ = !Unmount();
  std::string output;
  if (!loop_device_.empty() &&
      !RunCommand({"losetup", "--detach", loop_device_}, &output)) {
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
