#include "e2e/drive.h"

#include <filesystem>
#include <system_error>

namespace slicery::e2e {
namespace {

namespace fs = std::filesystem;

// Moves every entry of `from` into `to` by renaming, so large files cost
// nothing. A missing `from` holds nothing.
bool MoveEntries(const fs::path& from, const fs::path& to, std::string* error) {
  std::error_code ec;
  if (!fs::exists(from, ec)) return true;
  fs::create_directories(to, ec);
  for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
    fs::rename(it->path(), to / it->path().filename(), ec);
    if (ec) break;
  }
  if (ec) *error = "moving " + from.string() + " to " + to.string() + ": " + ec.message();
  return !ec;
}

}  // namespace

Drive::Drive(const std::string& root) : drive_(root + "/drive"), shelf_(root + "/disks") {
  std::error_code ec;
  fs::create_directories(drive_, ec);
  fs::create_directories(shelf_, ec);
}

std::string Drive::DiskPath(const std::string& name) const {
  if (const auto medium = media_.find(name); medium != media_.end())
    return medium->second;
  return name == current_ ? drive_ : shelf_ + "/" + name;
}

std::string Drive::FileOn(const std::string& name, const std::string& file) const {
  return DiskPath(name) + "/" + file;
}

void Drive::AddMedium(const std::string& name, const std::string& mount_point) {
  media_[name] = mount_point;
}

bool Drive::Eject(std::string* error) {
  if (current_.empty()) return true;
  if (media_.count(current_) != 0) {
    std::error_code ec;
    fs::remove(drive_, ec);  // the link only
    if (ec) {
      *error = "removing the link " + drive_ + ": " + ec.message();
      return false;
    }
  } else if (!MoveEntries(drive_, shelf_ + "/" + current_, error)) {
    return false;
  }
  current_.clear();
  return true;
}

// The drive becomes a link to the mount point, in place of the (empty) drive
// folder.
bool Drive::InsertMedium(const std::string& mount_point, std::string* error) {
  std::error_code ec;
  fs::remove(drive_, ec);
  if (!ec) fs::create_directory_symlink(mount_point, drive_, ec);
  if (ec) *error = "linking " + drive_ + " to " + mount_point + ": " + ec.message();
  return !ec;
}

bool Drive::Insert(const std::string& name, std::string* error) {
  if (!Eject(error)) return false;
  if (const auto medium = media_.find(name); medium != media_.end()) {
    if (!InsertMedium(medium->second, error)) return false;
    current_ = name;
    return true;
  }
  std::error_code ec;
  fs::create_directories(drive_, ec);
  if (ec) {
    *error = "creating " + drive_ + ": " + ec.message();
    return false;
  }
  if (!MoveEntries(shelf_ + "/" + name, drive_, error)) return false;
  current_ = name;
  return true;
}

}  // namespace slicery::e2e
