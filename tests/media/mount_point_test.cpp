// The split onto a folder named with --volume: with an ext2 image mounted on
// it, then with the image unmounted, which leaves the bare folder on the file
// system below, then that bare folder given a size. Only a mounted medium or
// a volume given a size is written; a bare folder is an empty drive.
#include <filesystem>

#include "e2e/e2e_test.h"
#include "media/medium.h"

namespace slicery::e2e {
namespace {

const MediumKind kFloppy = {
    "Ext2Floppy", MediumType::kLoop, 1474560, {"mkfs.ext2", "-q", "-F", "-m", "0"}};

struct Stage {
  const char* name;
  bool mounted;      // the image is mounted on the folder
  const char* size;  // --volume-size, or none
  bool written;      // the split writes its set into the folder
};

const Stage kStages[] = {
    {"mounted", true, nullptr, true},
    {"unmounted", false, nullptr, false},
    {"unmounted, with a size", false, "100000", true},
};

class MountPointTest : public E2eTest {
 protected:
  MountPointTest() { simulate_volume_size_ = false; }
};

TEST_F(MountPointTest, TheSplitWritesOnlyOnAMountedMediumOrAVolumeGivenASize) {
  if (const std::string why = WhyNoMedia(kFloppy); !why.empty()) {
    if (MediaRequired()) FAIL() << why;
    GTEST_SKIP() << why;
  }
  Medium medium(kFloppy, temp_.path() + "/media");
  ASSERT_TRUE(medium.mounted()) << medium.error();
  const std::string folder = medium.mount_point();
  const std::string bytes = RandomBytes(3000, 8);
  ASSERT_TRUE(WriteFile(Work("src.bin"), bytes));

  for (const Stage& stage : kStages) {
    SCOPED_TRACE(stage.name);
    if (!stage.mounted) {
      medium.Release();
      ASSERT_EQ(medium.cleanup_error(), "");
      ASSERT_TRUE(std::filesystem::is_empty(folder));
    }
    LaunchOptions options = Options();
    options.args = {"--volume", folder};
    if (stage.size != nullptr)
      options.args.insert(options.args.end(), {"--volume-size", stage.size});
    std::vector<Step> steps = {{"Slicery", kMenu, "y\nsrc.bin"},
                               {"Insert Disk", kSplitInsert, "o"}};
    if (stage.written) {
      steps.push_back({"Slicery", kComplete, "n"});
    } else {
      steps = steps + std::vector<Step>{{"Error (warning)", kUnwritable, "o"},
                                        {"Insert Disk", kSplitInsert, "c"},
                                        {"Slicery (question)", kAbort, "y"},
                                        {"Slicery (question)", kAnother, "n"}};
    }
    std::unique_ptr<Session> session = Launch(options);
    ASSERT_TRUE(session);
    ASSERT_TRUE(Play(*session, steps));
    ASSERT_TRUE(Ended(*session));
    if (stage.written) {
      EXPECT_TRUE(Holds(folder + "/" + kDataFile, bytes));
      EXPECT_NE(ReadFile(folder + "/" + kInfoFile), std::nullopt);
    } else {
      EXPECT_TRUE(std::filesystem::is_empty(folder)) << "written into the bare folder";
    }
  }
}

}  // namespace
}  // namespace slicery::e2e
