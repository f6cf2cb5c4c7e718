#include "bench/options.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string_view>
#include <vector>

namespace slicery::bench {
namespace {

// The large mode: a 5 GiB sparse file onto volumes of 3 GiB simulated
// capacity, so each chunk is capped at the largest signed 32-bit length. The
// volumes and the rebuilt file hold real bytes (10 GiB), so by default they go
// on disk rather than into memory.
constexpr std::uint64_t kLargeFile = 5ull << 30;
constexpr std::uint64_t kLargeVolume = 3ull << 30;
constexpr char kLargeDir[] = "/var/tmp/slicery-bench-large";
constexpr char kDefaultDir[] = "/dev/shm/slicery-bench";

constexpr char kUsage[] =
    "usage: slicery_bench [--size BYTES] [--volume BYTES] [--runs N] [--dir PATH]\n"
    "                     [--large] [--timeout SECONDS] [--program PATH]\n"
    "                     [--damage-target]\n"
    "Splits a file with slicery onto simulated volumes, with the read-back of\n"
    "every volume and without it (SLICERY_NO_VERIFY=1), rebuilds it, checks it\n"
    "byte for byte, and times the verified split against cp, sync and cmp, the\n"
    "other split and the rebuild against cat, on the same bytes.\n"
    "  --size BYTES     file size (default 1G); suffixes K, M, G, T are binary\n"
    "  --volume BYTES   simulated volume size, SLICERY_VOLUME_SIZE (default 256M)\n"
    "  --runs N         runs; medians are reported (default 3)\n"
    "  --dir PATH       working folder (default /dev/shm/slicery-bench); given\n"
    "                   again, a run in each, with the ratios side by side\n"
    "  --large          5G sparse file onto 3G volumes, 1 run, in\n"
    "                   /var/tmp/slicery-bench-large; other options override it\n"
    "  --timeout S      limit for each dialog and each exit (default 600)\n"
    "  --program PATH   the slicery executable (default: the one built here)\n"
    "  --damage-target  flip a byte of the rebuilt file first: the run must fail\n";

std::optional<int> ParsePositive(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [at, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || at != end || value < 1) return std::nullopt;
  return value;
}

std::uint64_t Multiplier(std::string_view suffix) {
  for (const auto& [names, shift] :
       std::vector<std::pair<std::vector<std::string_view>, int>>{{{"", "B"}, 0},
                                                                  {{"K", "KiB"}, 10},
                                                                  {{"M", "MiB"}, 20},
                                                                  {{"G", "GiB"}, 30},
                                                                  {{"T", "TiB"}, 40}}) {
    for (std::string_view name : names) {
      if (suffix == name) return 1ull << shift;
    }
  }
  return 0;
}

void ApplyLarge(Options* options) {
  options->file_size = kLargeFile;
  options->volume_size = kLargeVolume;
  options->runs = 1;
  options->sparse = true;
}

// Applies one option with its value; false with the reason when it is wrong.
bool Apply(const std::string& name, const std::string& value, Options* options,
           std::string* message) {
  std::optional<std::uint64_t> bytes;
  std::optional<int> number;
  if (name == "--size" && (bytes = ParseByteCount(value))) {
    options->file_size = *bytes;
  } else if (name == "--volume" && (bytes = ParseByteCount(value)) && *bytes > 600) {
    options->volume_size = *bytes;
  } else if (name == "--runs" && (number = ParsePositive(value))) {
    options->runs = *number;
  } else if (name == "--timeout" && (number = ParsePositive(value))) {
    options->timeout_seconds = *number;
  } else if (name == "--dir" && !value.empty()) {
    options->dirs.push_back(value);
  } else if (name == "--program" && !value.empty()) {
    options->program = value;
  } else {
    *message = "bad value for " + name + ": \"" + value + "\"\n" + kUsage;
    return false;
  }
  return true;
}

}  // namespace

const char* UsageText() { return kUsage; }

std::optional<std::uint64_t> ParseByteCount(const std::string& text) {
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || at == text.data()) return std::nullopt;
  const std::uint64_t multiplier = Multiplier(std::string_view(at, end - at));
  if (multiplier == 0 || value > std::numeric_limits<std::uint64_t>::max() / multiplier) {
    return std::nullopt;
  }
  return value * multiplier;
}

std::optional<Options> ParseOptions(int argc, char** argv, std::string* message) {
  Options options;
  const std::vector<std::string> args(argv + 1, argv + argc);
  const bool large = std::find(args.begin(), args.end(), "--large") != args.end();
  if (large) ApplyLarge(&options);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      return options;
    }
    if (arg == "--large") continue;
    if (arg == "--damage-target") {
      options.damage_target = true;
      continue;
    }
    if (i + 1 == args.size() || arg.rfind("--", 0) != 0) {
      *message = "unknown or incomplete option \"" + arg + "\"\n" + kUsage;
      return std::nullopt;
    }
    if (!Apply(arg, args[++i], &options, message)) return std::nullopt;
  }
  if (options.dirs.empty()) options.dirs.push_back(large ? kLargeDir : kDefaultDir);
  return options;
}

}  // namespace slicery::bench
