// Files for the end-to-end runs: a temporary folder that cleans up after
// itself, and whole-file reading, writing and comparing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace slicery::e2e {

// A fresh folder under $TMPDIR (or /tmp), removed with all it holds, whatever
// permissions a test left on it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // Empty when the folder could not be made.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

bool WriteFile(const std::string& path, const std::string& bytes);
std::optional<std::string> ReadFile(const std::string& path);
// `size` pseudo-random bytes from `seed`, written in blocks.
bool WriteRandomFile(const std::string& path, std::uint64_t size, std::uint32_t seed);
// The bytes of `size` pseudo-random bytes from `seed`, as WriteRandomFile writes.
std::string RandomBytes(std::size_t size, std::uint32_t seed);
// The offset of the first byte where `a` and `b` differ; the shorter one's
// length when one begins with the other, npos when they are equal.
std::size_t FirstDifference(const std::string& a, const std::string& b);
// True when both files exist and hold the same bytes; compared in blocks.
bool SameContents(const std::string& a, const std::string& b);

}  // namespace slicery::e2e
