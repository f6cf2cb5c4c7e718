// The benchmark's own arithmetic: byte counts on its command line, the chunk
// lengths it expects of a set, and the medians it reports.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bench/data.h"
#include "bench/options.h"
#include "bench/report.h"

namespace slicery::bench {
namespace {

TEST(ByteCountTest, ReadsDigitsWithBinarySuffixes) {
  const struct {
    const char* text;
    std::optional<std::uint64_t> bytes;
  } cases[] = {
      {"1457664", 1457664},
      {"1G", 1ull << 30},
      {"256M", 256ull << 20},
      {"64MiB", 64ull << 20},
      {"8K", 8192},
      {"3GiB", 3ull << 30},
      {"0", 0},
      {"", std::nullopt},
      {"G", std::nullopt},
      {"1X", std::nullopt},
      {"-1", std::nullopt},
      {"1.5G", std::nullopt},
      {"20000000T", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseByteCount(c.text), c.bytes) << c.text;
}

TEST(ExpectedChunksTest, LeavesTheReserveCapsAtInt32AndEndsWithTheRest) {
  using Chunks = std::vector<std::uint64_t>;
  const std::uint64_t k256 = 268434856;  // 256 MiB less the 600-byte reserve
  const std::uint64_t kFloppy = 1457064;
  const std::uint64_t kCap = 2147483647;
  EXPECT_EQ(ExpectedChunks(1ull << 30, 256ull << 20),
            (Chunks{k256, k256, k256, k256, 2400}));
  EXPECT_EQ(ExpectedChunks(5ull << 30, 3ull << 30), (Chunks{kCap, kCap, 1073741826}));
  EXPECT_EQ(ExpectedChunks(2 * kFloppy, 1457664), (Chunks{kFloppy, kFloppy, 0}));
  EXPECT_EQ(ExpectedChunks(0, 1457664), (Chunks{0}));
  const Chunks floppies = ExpectedChunks(100ull << 20, 1457664);
  ASSERT_EQ(floppies.size(), 72u);
  EXPECT_EQ(floppies.front(), kFloppy);
  EXPECT_EQ(floppies.back(), (100ull << 20) - 71 * kFloppy);
}

TEST(MedianTest, MiddleValueOrMeanOfTheTwoMiddleOnes) {
  EXPECT_EQ(Median({3.0}), 3.0);
  EXPECT_EQ(Median({5.0, 1.0, 3.0}), 3.0);
  EXPECT_EQ(Median({4.0, 1.0, 3.0, 2.0}), 2.5);
}

std::optional<Options> Parse(std::vector<std::string> args, std::string* message) {
  args.insert(args.begin(), "slicery_bench");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  return ParseOptions(static_cast<int>(argv.size()), argv.data(), message);
}

TEST(OptionsTest, LargeModeIsOverriddenByTheOtherOptionsAndBadValuesAreRefused) {
  std::string message;
  const std::optional<Options> large = Parse({"--dir", "/tmp/x", "--large"}, &message);
  ASSERT_TRUE(large);
  EXPECT_EQ(large->file_size, 5ull << 30);
  EXPECT_EQ(large->volume_size, 3ull << 30);
  EXPECT_TRUE(large->sparse);
  EXPECT_EQ(large->runs, 1);
  EXPECT_EQ(large->dirs, std::vector<std::string>{"/tmp/x"});
  const std::optional<Options> plain = Parse({}, &message);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->dirs, std::vector<std::string>{"/dev/shm/slicery-bench"});
  const std::optional<Options> both = Parse({"--dir", "/a", "--dir", "/b"}, &message);
  ASSERT_TRUE(both);
  EXPECT_EQ(both->dirs, (std::vector<std::string>{"/a", "/b"}));
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"--runs", "0"},
                                             {"--volume", "600"},
                                             {"--size", "1Q"},
                                             {"--runs"},
                                             {"--frobnicate", "1"}}) {
    EXPECT_FALSE(Parse(bad, &message)) << bad[0];
  }
}

}  // namespace
}  // namespace slicery::bench
