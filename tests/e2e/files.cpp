#include "e2e/files.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace slicery::e2e {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBlock = 1 << 20;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// splitmix64: quick, and the same bytes for a seed on every run.
class ByteStream {
 public:
  explicit ByteStream(std::uint32_t seed) : state_(seed) {}
  void Fill(char* out, std::size_t size) {
    for (std::size_t i = 0; i < size; i += 8) {
      std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      z ^= z >> 31;
      std::memcpy(out + i, &z, std::min<std::size_t>(8, size - i));
    }
  }

 private:
  std::uint64_t state_;
};

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                        "/slicery-e2e-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ec;
  // A test may have taken the write or search permission off a folder.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  for (fs::recursive_directory_iterator it(path_, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    ec.clear();
  }
  fs::remove_all(path_, ec);
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  const bool written =
      std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  return std::fclose(file.release()) == 0 && written;
}

std::optional<std::string> ReadFile(const std::string& path) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) return std::nullopt;
  std::string bytes;
  std::vector<char> block(kBlock);
  std::size_t got;
  while ((got = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
    bytes.append(block.data(), got);
  }
  if (std::ferror(file.get())) return std::nullopt;
  return bytes;
}

std::string RandomBytes(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  ByteStream(seed).Fill(bytes.data(), size);
  return bytes;
}

bool WriteRandomFile(const std::string& path, std::uint64_t size, std::uint32_t seed) {
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  ByteStream stream(seed);
  std::vector<char> block(kBlock);
  bool written = true;
  while (size > 0 && written) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, kBlock));
    stream.Fill(block.data(), n);
    written = std::fwrite(block.data(), 1, n, file.get()) == n;
    size -= n;
  }
  return std::fclose(file.release()) == 0 && written;
}

std::size_t FirstDifference(const std::string& a, const std::string& b) {
  if (a == b) return std::string::npos;
  std::size_t at = 0;
  while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
  return at;
}

bool SameContents(const std::string& a, const std::string& b) {
  FilePtr fa(std::fopen(a.c_str(), "rb")), fb(std::fopen(b.c_str(), "rb"));
  if (!fa || !fb) return false;
  std::vector<char> ba(kBlock), bb(kBlock);
  for (;;) {
    const std::size_t na = std::fread(ba.data(), 1, kBlock, fa.get());
    const std::size_t nb = std::fread(bb.data(), 1, kBlock, fb.get());
    if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0) return false;
    if (na < kBlock) return !std::ferror(fa.get()) && !std::ferror(fb.get());
  }
}

}  // namespace slicery::e2e
