// Files on a mapped drive as the Windows tests look at them: raw bytes, and
// whether anything is there.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace slicery {

inline std::string RawBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace slicery
