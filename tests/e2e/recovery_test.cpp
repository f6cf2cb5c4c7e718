// Sets with recovery disks through the real program: the split's recovery
// disks after its data disks.
#include <filesystem>

#include "e2e/e2e_test.h"

namespace slicery::e2e {
namespace {

// Volumes of 20000 bytes: chunks of a few 4 KiB blocks each.
constexpr int kRecoveryVolume = 20000;

std::string RecoveryRequest(int number, int total) {
  return "Please insert recovery disk #" + std::to_string(number) + " of " +
         std::to_string(total) + " into drive.  (No data on disk will be overwritten.)";
}

std::string Disk(int number) { return std::to_string(number); }
std::string RecoveryDisk(int number) { return "r" + std::to_string(number); }

class RecoveryTest : public E2eTest {
 protected:
  LaunchOptions RecoveryOptions(int recovery) const {
    LaunchOptions options = Options();
    options.args = {"--recovery", std::to_string(recovery)};
    options.env.back().second = std::to_string(kRecoveryVolume);
    return options;
  }

  // Splits `source` onto data disks "1".."data" and recovery disks "r1"..
  ::testing::AssertionResult SplitSet(const std::string& source, int data, int recovery) {
    std::vector<Step> steps{{"Slicery", kMenu, "y\n" + source}};
    for (int n = 1; n <= data; ++n)
      steps.push_back({"Insert Disk", kSplitInsert, "o", Disk(n)});
    for (int r = 1; r <= recovery; ++r) {
      steps.push_back(
          {"Insert Disk", RecoveryRequest(r, recovery), "o", RecoveryDisk(r)});
    }
    steps.push_back({"Slicery", kComplete, "n"});
    std::unique_ptr<Session> session = Launch(RecoveryOptions(recovery));
    if (!session) return ::testing::AssertionFailure() << "not started";
    ::testing::AssertionResult played = Play(*session, steps);
    if (!played) return played;
    return Ended(*session);
  }

  bool Has(const std::string& disk, const std::string& file) const {
    return std::filesystem::exists(drive_.FileOn(disk, file));
  }
};

// Data disks as a plain set, each with its checksum file; then recovery disks
// with a recovery chunk as long as the longest data chunk and a record, and
// no info file. The data disks alone still rebuild the file.
TEST_F(RecoveryTest, DataDisksThenRecoveryDisksAndThePlainRebuildStillWorks) {
  const std::string source = Work("src.bin");
  const std::string bytes = RandomBytes(80000, 3);
  ASSERT_TRUE(WriteFile(source, bytes));
  ASSERT_TRUE(SplitSet(source, 5, 2));
  const std::string record = Record("1");
  EXPECT_EQ(record.rfind(source + "\r\n0\r\n+\r\n", 0), 0u) << record;
  std::uintmax_t longest = 0;
  for (int n = 1; n <= 5; ++n) {
    EXPECT_TRUE(Has(Disk(n), "SLICERY.C2Z")) << n;
    longest =
        std::max(longest, std::filesystem::file_size(drive_.FileOn(Disk(n), kDataFile)));
  }
  for (int r = 1; r <= 2; ++r) {
    EXPECT_FALSE(Has(RecoveryDisk(r), kInfoFile)) << r;
    EXPECT_TRUE(Has(RecoveryDisk(r), "SLICERY.P2Z")) << r;
    EXPECT_EQ(std::filesystem::file_size(drive_.FileOn(RecoveryDisk(r), "SLICERY.R2Z")),
              longest);
  }
  ASSERT_TRUE(Rebuild(source, "rebuilt.bin", 5));
  EXPECT_TRUE(Holds(Work("rebuilt.bin"), bytes));
}

// Cancel at the second recovery request: the set is complete without it, and
// the user is told it has fewer recovery disks than asked for.
TEST_F(RecoveryTest, CancelAtARecoveryRequestLeavesFewerRecoveryDisks) {
  const std::string source = Work("src.bin");
  ASSERT_TRUE(WriteFile(source, RandomBytes(30000, 4)));
  std::unique_ptr<Session> session = Launch(RecoveryOptions(2));
  ASSERT_TRUE(session);
  ASSERT_TRUE(Play(*session,
                   {{"Slicery", kMenu, "y\n" + source},
                    {"Insert Disk", kSplitInsert, "o", "1"},
                    {"Insert Disk", kSplitInsert, "o", "2"},
                    {"Insert Disk", RecoveryRequest(1, 2), "o", "r1"},
                    {"Insert Disk", RecoveryRequest(2, 2), "c"},
                    {"Slicery (question)", kAbort, "y"},
                    {"Slicery (warning)",
                     "The data disks of this set are complete, but it has fewer recovery "
                     "disks than asked for: 1 of 2.",
                     "o"},
                    {"Slicery (question)", kAnother, "n"}}));
  EXPECT_TRUE(Ended(*session));
  EXPECT_TRUE(Has("r1", "SLICERY.R2Z"));
}

}  // namespace
}  // namespace slicery::e2e
