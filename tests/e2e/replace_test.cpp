// The rebuild of a five-volume set over the file it was made from, which has
// changed since: the user agrees to overwrite it. Whatever ends the rebuild,
// the old file keeps its bytes and its identity until the new one is whole;
// what was joined before an early end is beside it. The old file is private,
// and so is every file that takes its place.
#include <sys/stat.h>

#include <filesystem>

#include "e2e/e2e_test.h"

namespace slicery::e2e {
namespace {

constexpr int kSize = 4 * kChunk + 500;
const std::string kBeside = "src.bin.slicery-partial";

// What the file beside the old one holds at the end.
enum class Beside { kNone, kFirstChunk, kSomePrefix };

struct Scenario {
  const char* name;
  std::vector<Step> steps;  // after the overwrite question
  Beside beside;
  bool replaced;            // the old file is replaced by the rebuilt one
  bool size_limit = false;  // files written may not grow past 2 KiB
  bool link = false;        // src.bin is a symbolic link to real/src.bin
};

const std::vector<Step> kDone = {{"Slicery", kComplete, "n"}};
constexpr auto kPrivate =
    std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;

const Scenario kScenarios[] = {
    {"Completed", Requests(1, 5) + kDone, Beside::kNone, true},
    // Nothing was written: nothing is left beside.
    {"CancelledAtDiskOne", std::vector<Step>{{"Slicery", RequestDisk(1), "c"}},
     Beside::kNone, false},
    // The link stays, and the file it leads to is replaced.
    {"ThroughALink", Requests(1, 5) + kDone, Beside::kNone, true, false, true},
    {"DamagedDiskThenCancelled",
     Requests(1, 1) + std::vector<Step>{{"Slicery", RequestDisk(2), "o", "short"},
                                        {"Error (error)", kDamaged, "o"},
                                        {"Slicery", RequestDisk(2), "c"}},
     Beside::kFirstChunk, false},
    {"DiskWithoutData",
     Requests(1, 1) + std::vector<Step>{{"Slicery", RequestDisk(2), "o", "nodata"},
                                        {"Fatal error (error)", kReadFatal, "o"}},
     Beside::kFirstChunk, false},
    {"FailedWrite",
     Requests(1, 3) + std::vector<Step>{{"Fatal error (error)", kWriteFatal, "o"}},
     Beside::kSomePrefix, false, true},
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

// Device and inode: what the name leads to.
std::pair<dev_t, ino_t> IdentityOf(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return {0, 0};
  return {info.st_dev, info.st_ino};
}

class ReplaceTest : public E2eTest, public ::testing::WithParamInterface<Scenario> {
 protected:
  // The set of src.bin, then src.bin changed; disk 2 also cut short, and
  // without its data file.
  void SetUp() override {
    bytes_ = RandomBytes(kSize, 3);
    ASSERT_TRUE(WriteFile(Work("src.bin"), bytes_));
    ASSERT_TRUE(Split("src.bin", 5));
    std::string error;
    ASSERT_TRUE(drive_.Eject(&error)) << error;
    namespace fs = std::filesystem;
    fs::copy(drive_.DiskPath("2"), drive_.DiskPath("nodata"));
    fs::remove(drive_.FileOn("nodata", kDataFile));
    fs::copy(drive_.DiskPath("2"), drive_.DiskPath("short"));
    fs::resize_file(drive_.FileOn("short", kDataFile), kChunk / 2);
    old_ = RandomBytes(2 * kSize, 5);
    if (GetParam().link) {
      fs::remove(Work("src.bin"));
      fs::create_directory(Work("real"));
      fs::create_symlink("real/src.bin", Work("src.bin"));
    }
    ASSERT_TRUE(WriteFile(Work("src.bin"), old_));
    fs::permissions(Work("src.bin"), kPrivate);
    old_identity_ = IdentityOf(Work("src.bin"));
  }

  // At every disk request the old file is as it was; at completion it is the
  // rebuilt file, a new one, and nothing is left beside it.
  std::vector<Step> Checked(std::vector<Step> steps) {
    for (Step& step : steps) {
      if (step.text.starts_with(kInsertNumbered)) {
        step.before = [this] {
          EXPECT_TRUE(Holds(Work("src.bin"), old_));
          EXPECT_EQ(IdentityOf(Work("src.bin")), old_identity_);
        };
      } else if (step.text == kComplete) {
        step.before = [this] {
          EXPECT_TRUE(Holds(Work("src.bin"), bytes_));
          EXPECT_NE(IdentityOf(Work("src.bin")), old_identity_);
          EXPECT_FALSE(std::filesystem::exists(Work(kBeside)));
        };
      }
    }
    return steps;
  }

  std::string bytes_, old_;
  std::pair<dev_t, ino_t> old_identity_;
};

TEST_P(ReplaceTest, TheOldFileStaysUntilTheNewOneIsWhole) {
  const Scenario& scenario = GetParam();
  LaunchOptions options = Options();
  if (scenario.size_limit) {
    // A write past the limit fails with EFBIG; the signal that would end the
    // program instead is ignored, which the program inherits.
    options.args = {"-c", "trap '' XFSZ; ulimit -f 2 && exec \"$0\"", options.program};
    options.program = "/bin/bash";
  }
  std::unique_ptr<Session> session = Launch(options);
  ASSERT_TRUE(session);
  ASSERT_TRUE(Play(
      *session, Checked(std::vector<Step>{{"Slicery", kMenu, "n"},
                                          {"Slicery", kIdentify, "o", "1"},
                                          {"Slicery (question)", Confirm("src.bin"), "y"},
                                          {"Slicery (question)", kOverwrite, "y"}} +
                        scenario.steps)));
  ASSERT_TRUE(Ended(*session));
  EXPECT_EQ(session->TrailingConsole(), "");
  EXPECT_TRUE(Holds(Work("src.bin"), scenario.replaced ? bytes_ : old_));
  EXPECT_EQ(IdentityOf(Work("src.bin")) == old_identity_, !scenario.replaced);
  EXPECT_EQ(std::filesystem::status(Work("src.bin")).permissions(), kPrivate);
  EXPECT_EQ(std::filesystem::is_symlink(Work("src.bin")), scenario.link);
  const std::optional<std::string> beside = ReadFile(Work(kBeside));
  if (beside) {
    EXPECT_EQ(std::filesystem::status(Work(kBeside)).permissions(), kPrivate);
  }
  switch (scenario.beside) {
    case Beside::kNone:
      EXPECT_FALSE(beside);
      break;
    case Beside::kFirstChunk:
      EXPECT_TRUE(Holds(Work(kBeside), bytes_.substr(0, kChunk)));
      break;
    case Beside::kSomePrefix:
      ASSERT_TRUE(beside);
      EXPECT_GE(beside->size(), 2u * kChunk);  // the two whole disks, at least
      EXPECT_TRUE(Holds(Work(kBeside), bytes_.substr(0, beside->size())));
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ReplaceTest, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace slicery::e2e
