// The benchmark's command line: what to split, onto what, how often and where.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace slicery::bench {

struct Options {
  std::uint64_t file_size = 1ull << 30;
  std::uint64_t volume_size = 256ull << 20;
  int runs = 3;
  // Working folders, each with a run of its own and the results side by side:
  // a tmpfs and a mounted ext4 image, say. --dir may be given more than once;
  // without it /dev/shm/slicery-bench (or the large mode's folder).
  std::vector<std::string> dirs;
  // A sparse source with a few marker blocks instead of random bytes.
  bool sparse = false;
  std::string program;        // the slicery executable
  int timeout_seconds = 600;  // for each dialog and each exit
  // Flips one byte of the rebuilt file before it is compared, so the run must
  // fail: shows that the comparison catches a difference.
  bool damage_target = false;
  bool help = false;  // --help: print UsageText() and do nothing else
};

const char* UsageText();

// "1073741824", "256M", "1G", "1457664", "64MiB": a byte count, with an
// optional binary suffix K, M, G, T (or KiB, MiB, GiB, TiB).
std::optional<std::uint64_t> ParseByteCount(const std::string& text);

// The options, or empty with the reason and the usage text in *message.
std::optional<Options> ParseOptions(int argc, char** argv, std::string* message);

}  // namespace slicery::bench
