#include "bench/workspace.h"

#include <filesystem>
#include <system_error>

namespace slicery::bench {
namespace fs = std::filesystem;

Workspace::Workspace(const std::string& dir) : root_(dir) {
  std::error_code ec;
  fs::create_directories(root_ + "/work", ec);
  if (ec) error_ = "cannot create " + root_ + "/work: " + ec.message();
}

Workspace::~Workspace() {
  std::string ignored;
  ClearVolumes(&ignored);
  std::error_code ec;
  fs::remove_all(root_ + "/work", ec);
  fs::remove(root_, ec);  // only when empty
}

bool Workspace::ClearVolumes(std::string* error) {
  for (const char* folder : {"/drive", "/disks"}) {
    std::error_code ec;
    fs::remove_all(root_ + folder, ec);
    if (ec) {
      *error = "cannot remove " + root_ + folder + ": " + ec.message();
      return false;
    }
  }
  return true;
}

}  // namespace slicery::bench
