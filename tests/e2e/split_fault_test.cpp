// The split against real faults: a data file that cannot be written, a volume
// that refuses the probe file or is gone, and a source that cannot be read.
#include <chrono>
#include <filesystem>
#include <functional>

#include "e2e/e2e_test.h"

namespace slicery::e2e {
namespace {

namespace fs = std::filesystem;

class SplitFaultTest : public E2eTest {
 protected:
  void SetUp() override {
    bytes_ = RandomBytes(2 * kChunk + 300, 9);
    ASSERT_TRUE(WriteFile(Work("src.bin"), bytes_));
  }

  // Disk 1 written, then `fault` at the request for the second volume, then
  // disks 2 and 3: the set must come out as if nothing had happened.
  void SplitThrough(const std::vector<Step>& fault) {
    ASSERT_TRUE(PlayToExit(std::vector<Step>{{"Slicery", kMenu, "y\nsrc.bin"}} +
                           SplitDisks({"1"}) + fault + SplitDisks({"2", "3"}) +
                           std::vector<Step>{{"Slicery", kComplete, "n"}}));
    for (int n = 1; n <= 3; ++n) {
      const std::string index = "\r\n" + std::to_string(n - 1) + "\r\n";
      EXPECT_NE(Record(std::to_string(n)).find(index), std::string::npos) << n;
    }
    ASSERT_TRUE(Rebuild("src.bin", "rebuilt.bin", 3));
    EXPECT_TRUE(Holds(Work("rebuilt.bin"), bytes_));
  }

  // Refused with the unwritable warning, then the same request again.
  static std::vector<Step> Refused(const std::string& disk,
                                   std::function<void()> before = nullptr,
                                   std::function<void()> after = nullptr) {
    return {{"Insert Disk", kSplitInsert, "o", disk, "", std::move(before)},
            {"Error (warning)", kUnwritable, "o", "", "", std::move(after)}};
  }

  // The drive with no disk in it.
  void EmptyDrive() {
    std::string error;
    ASSERT_TRUE(drive_.Eject(&error)) << error;
  }

  std::string bytes_;
};

// A data file on a volume without a record is what an interrupted split
// leaves; it is removed before anything is measured or written, so even one
// that leads to a full device costs the volume nothing.
TEST_F(SplitFaultTest, LeftoverDataFileIsRemovedEvenWhereItLeadsToAFullDevice) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this host";
  fs::create_directories(drive_.DiskPath("2"));
  fs::create_symlink("/dev/full", drive_.FileOn("2", kDataFile));
  SplitThrough({});
  EXPECT_FALSE(fs::is_symlink(drive_.FileOn("2", kDataFile)));
  EXPECT_TRUE(Holds(drive_.FileOn("2", kDataFile), bytes_.substr(kChunk, kChunk)));
}

TEST_F(SplitFaultTest, ProbeFileThatCannotBeCreatedRefusesTheVolume) {
  fs::create_directories(drive_.FileOn("odd", kProbeFile));  // a folder in its place
  SplitThrough(Refused("odd"));
}

TEST_F(SplitFaultTest, ReadOnlyVolumeIsRefused) {
  const auto read_only = fs::perms::owner_read | fs::perms::owner_exec;
  fs::permissions(drive_.path(), read_only);
  const bool writable = WriteFile(drive_.path() + "/trial", "");
  fs::remove(drive_.path() + "/trial");
  fs::permissions(drive_.path(), fs::perms::owner_all);
  if (writable) {
    GTEST_SKIP() << "a read-only folder still takes files here (running as root), so "
                    "the refusal of a write-protected volume cannot be provoked";
  }
  SplitThrough(Refused(
      "",
      [&] {
        EmptyDrive();
        fs::permissions(drive_.path(), read_only);
      },
      [&] { fs::permissions(drive_.path(), fs::perms::owner_all); }));
}

TEST_F(SplitFaultTest, VanishedVolumeActsLikeAnEmptyDrive) {
  SplitThrough(Refused("", [&] {
    EmptyDrive();
    fs::remove(drive_.path());
  }));
}

TEST_F(SplitFaultTest, UnreadableSourceAbortsAndClearsTheVolume) {
  // A regular file that opens but fails its first read: the program's own
  // memory, read from address 0, which nothing maps. (A folder no longer
  // serves: it is refused at the prompt.)
  if (!fs::is_regular_file("/proc/self/mem")) GTEST_SKIP() << "no /proc/self/mem";
  ASSERT_TRUE(PlayToExit({{"Slicery", kMenu, "y\n/proc/self/mem"},
                          {"Insert Disk", kSplitInsert, "o", "1"},
                          {"Error (error)", kSourceUnreadable, "o"},
                          {"Slicery (question)", kAnother, "n"}}));
  for (const std::string& file : {kInfoFile, kDataFile, kProbeFile}) {
    EXPECT_FALSE(fs::exists(drive_.FileOn("1", file))) << file;
  }
}

// A source that changes between two volumes, grown or rewritten in place, is
// no fault of the disk's: the split ends with its own message, the volume
// being written is cleared and the volume before it keeps its files.
TEST_F(SplitFaultTest, ASourceChangedDuringTheSplitEndsIt) {
  const std::function<void(const std::string&)> changes[] = {
      [](const std::string& path) {
        ASSERT_TRUE(WriteFile(path, RandomBytes(3 * kChunk, 4)));
      },
      [this](const std::string& path) {
        const fs::file_time_type opened = fs::last_write_time(path);
        ASSERT_TRUE(WriteFile(path, RandomBytes(bytes_.size(), 5)));
        fs::last_write_time(path, opened + std::chrono::seconds(2));
      },
  };
  for (const auto& change : changes) {
    ASSERT_TRUE(WriteFile(Work("src.bin"), bytes_));
    for (const char* disk : {"1", "2"}) fs::remove_all(drive_.DiskPath(disk));
    const std::string source = Work("src.bin");
    ASSERT_TRUE(PlayToExit(
        std::vector<Step>{{"Slicery", kMenu, "y\nsrc.bin"}} + SplitDisks({"1"}) +
        std::vector<Step>{
            {"Insert Disk", kSplitInsert, "o", "2", "", [&] { change(source); }},
            {"Error (error)", kSourceChanged, "o", "", "Checking ["},
            {"Slicery (question)", kAnother, "n"}}));
    EXPECT_TRUE(Holds(drive_.FileOn("1", kDataFile), bytes_.substr(0, kChunk)));
    for (const std::string& file : {kInfoFile, kDataFile, kProbeFile}) {
      EXPECT_FALSE(fs::exists(drive_.FileOn("2", file))) << file;
    }
  }
}

}  // namespace
}  // namespace slicery::e2e
