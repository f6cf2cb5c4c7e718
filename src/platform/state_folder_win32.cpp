#include <windows.h>

#include "platform/state_folder.h"

namespace slicery {

std::optional<std::string> UserStateFolder() {
  char base[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", base, sizeof base);
  if (length == 0 || length >= sizeof base) return std::nullopt;
  const std::string folder = std::string(base, length) + "\\Slicery";
  if (!CreateDirectoryA(folder.c_str(), nullptr)) {
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return std::nullopt;
    }
  }
  return folder + "\\";
}

std::optional<std::string> FullPathOf(const std::string& path) {
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return std::nullopt;
  return std::string(full, length);
}

}  // namespace slicery
