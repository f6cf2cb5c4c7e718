#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "platform/state_folder.h"

namespace slicery {
namespace {

// Makes the folder at the absolute `path` and every missing folder above it,
// each private to the user, as the XDG base directory rules ask (mode 0700).
bool MakeFolders(const std::string& path) {
  for (std::size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
    const std::string folder = path.substr(0, at);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (at == std::string::npos) break;
  }
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::optional<std::string> UserStateFolder() {
  // XDG_STATE_HOME counts only when it is an absolute path; otherwise the
  // default below HOME.
  const char* state = std::getenv("XDG_STATE_HOME");
  std::string base;
  if (state != nullptr && state[0] == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return std::nullopt;
    base = std::string(home) + "/.local/state";
  }
  const std::string folder = base + "/slicery";
  if (!MakeFolders(folder)) return std::nullopt;
  return folder + "/";
}

std::optional<std::string> FullPathOf(const std::string& path) {
  char* full = realpath(path.c_str(), nullptr);
  if (full == nullptr) return std::nullopt;
  std::string result(full);
  std::free(full);
  return result;
}

}  // namespace slicery
