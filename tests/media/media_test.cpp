// The split and the rebuild on real file systems: three media of one kind are
// made and mounted, a source of about two and a half media is split onto them
// through the real program, and rebuilt from them. Every full medium must hold
// its chunk and its record and be left with less than three allocation units
// free. The drive is a symbolic link re-pointed to the next medium at each
// insert request.
//
// Mounting needs root, loop devices and FUSE. Without them each case is
// skipped with the reason, unless SLICERY_MEDIA_REQUIRED=1, which makes the
// reason a failure (CI, where the media must run).
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>

#include "e2e/e2e_test.h"
#include "media/command.h"
#include "media/medium.h"
#include "media/passthrough.h"

namespace slicery::e2e {

namespace fs = std::filesystem;

void PrintTo(const MediumKind& kind, std::ostream* out) { *out << kind.name; }

namespace {

constexpr std::uint64_t kFloppySize = 1474560;
constexpr std::uint64_t kImageSize = 16 << 20;
constexpr int kMediaCount = 3;

const MediumKind kMedia[] = {
    {"Ext2Floppy1KiBBlocks",
     MediumType::kLoop,
     kFloppySize,
     {"mkfs.ext2", "-q", "-F", "-b", "1024", "-m", "0"}},
    {"Ext2Image4KiBBlocks",
     MediumType::kLoop,
     kImageSize,
     {"mkfs.ext2", "-q", "-F", "-b", "4096", "-m", "0"}},
    {"Ext4Image4KiBBlocks",
     MediumType::kLoop,
     kImageSize,
     {"mkfs.ext4", "-q", "-F", "-b", "4096", "-m", "0"}},
    {"Tmpfs1440KiB", MediumType::kTmpfs, kFloppySize, {}},
    {"ExfatFuse4KiBClusters",
     MediumType::kExfatFuse,
     kImageSize,
     {"mkfs.exfat", "-c", "4K"}},
    {"ExfatFuse128KiBClusters",
     MediumType::kExfatFuse,
     kImageSize,
     {"mkfs.exfat", "-c", "128K"}},
};

// The five fields of a record, split at its CR LF line ends.
std::vector<std::string> Fields(const std::string& record) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t end; (end = record.find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    fields.push_back(record.substr(start, end - start));
  }
  fields.push_back(record.substr(start));
  return fields;
}

class MediaTest : public E2eTest, public ::testing::WithParamInterface<MediumKind> {
 protected:
  MediaTest() {
    simulate_volume_size_ = false;
    // A 16 MiB chunk synced 24 times on a loaded machine can take a while.
    setenv("SLICERY_E2E_TIMEOUT_MS", "60000", 0);
  }

  // Everything made is unmounted and detached, whatever the test did.
  void TearDown() override {
    for (const std::unique_ptr<Medium>& medium : media_) {
      medium->Release();
      EXPECT_EQ(medium->cleanup_error(), "");
    }
  }

  // Makes the media, inserted as disks "1" to "3" (or `count`); the reason
  // when they cannot be made.
  std::string MakeMedia(int count = kMediaCount) {
    if (std::string why = WhyNoMedia(GetParam()); !why.empty()) return why;
    for (int n = 1; n <= count; ++n) {
      const std::string dir = temp_.path() + "/media/" + std::to_string(n);
      media_.push_back(std::make_unique<Medium>(GetParam(), dir));
      if (!media_.back()->mounted()) return media_.back()->error();
      drive_.AddMedium(std::to_string(n), media_.back()->mount_point());
    }
    return "";
  }

  std::string MountPoint(int n) const { return media_[n - 1]->mount_point(); }

  std::vector<std::unique_ptr<Medium>> media_;
};

TEST_P(MediaTest, SplitFillsEachMediumAndRebuilds) {
  if (const std::string why = MakeMedia(); !why.empty()) {
    if (MediaRequired()) FAIL() << why;
    GTEST_SKIP() << why;
  }
  const std::optional<Space> blank = MeasureSpace(MountPoint(1));
  ASSERT_TRUE(blank);
  const std::uint64_t size = blank->free_bytes * 5 / 2;
  ASSERT_TRUE(WriteRandomFile(Work("src.bin"), size, 12));
  // An interrupted split left a data file without a record on the second one.
  ASSERT_TRUE(WriteRandomFile(MountPoint(2) + "/" + kDataFile, blank->free_bytes / 2, 5));

  std::string console;
  ASSERT_TRUE(Split("src.bin", kMediaCount, &console));
  std::ostringstream report;
  report << GetParam().name << ", " << blank->free_bytes << " bytes free when blank:";
  std::uint64_t total = 0;
  for (int n = 1; n <= kMediaCount; ++n) {
    const std::string disk = std::to_string(n);
    const std::vector<std::string> fields = Fields(Record(disk));
    ASSERT_EQ(fields.size(), 5u) << "disk " << disk << ": " << Record(disk);
    EXPECT_EQ(fields[1], std::to_string(n - 1));
    EXPECT_EQ(fields[2], n < kMediaCount ? "+" : "*");
    const std::uint64_t length = std::stoull(fields[3]);
    EXPECT_EQ(std::filesystem::file_size(drive_.FileOn(disk, kDataFile)), length) << disk;
    EXPECT_NE(console.find("] " + fields[3] + " bytes written\n"), std::string::npos)
        << console;
    total += length;
    const std::optional<Space> left = MeasureSpace(MountPoint(n));
    ASSERT_TRUE(left);
    if (n < kMediaCount) {
      EXPECT_LT(left->free_bytes, 3 * left->unit) << "disk " << disk;
    }
    report << " disk " << disk << " chunk " << length << ", " << left->free_bytes
           << " free (unit " << left->unit << ");";
  }
  EXPECT_EQ(total, size);
  ASSERT_TRUE(Rebuild("src.bin", "rebuilt.bin", kMediaCount));
  EXPECT_TRUE(SameContents(Work("src.bin"), Work("rebuilt.bin")));
  std::cout << report.str() << std::endl;
}

INSTANTIATE_TEST_SUITE_P(Media, MediaTest, ::testing::ValuesIn(kMedia),
                         [](const auto& info) { return std::string(info.param.name); });

// A source one byte short of the first medium's budget: the copy reads it to
// its end, but the file system's own blocks (indirect blocks, with 1 KiB
// blocks) leave no room for all of it and the record, so the chunk is cut
// back. The cut takes off the source's end, so that volume is not the last:
// the second medium takes the tail, and the rebuild is whole.
class OverfullMediumTest : public MediaTest {};

TEST_P(OverfullMediumTest, TheEndOfTheSourceCutOffGoesOntoTheNextMedium) {
  if (const std::string why = MakeMedia(); !why.empty()) {
    if (MediaRequired()) FAIL() << why;
    GTEST_SKIP() << why;
  }
  const std::optional<Space> blank = MeasureSpace(MountPoint(1));
  ASSERT_TRUE(blank);
  const std::uint64_t size =
      blank->free_bytes - std::max<std::uint64_t>(600, blank->unit) - 1;
  ASSERT_TRUE(WriteRandomFile(Work("src.bin"), size, 21));

  ASSERT_TRUE(Split("src.bin", 2));
  const std::vector<std::string> first = Fields(Record("1"));
  const std::vector<std::string> second = Fields(Record("2"));
  ASSERT_EQ(first.size(), 5u);
  ASSERT_EQ(second.size(), 5u);
  EXPECT_EQ(first[2], "+");
  EXPECT_EQ(second[2], "*");
  EXPECT_LT(std::stoull(first[3]), size);
  EXPECT_EQ(std::stoull(first[3]) + std::stoull(second[3]), size);
  ASSERT_TRUE(Rebuild("src.bin", "rebuilt.bin", 2));
  EXPECT_TRUE(SameContents(Work("src.bin"), Work("rebuilt.bin")));
  std::cout << GetParam().name << ": " << size << " bytes, first chunk " << first[3]
            << ", second " << second[3] << std::endl;
}

INSTANTIATE_TEST_SUITE_P(Media, OverfullMediumTest, ::testing::Values(kMedia[0]),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
// A set with one recovery disk on four floppy-sized media: three data disks
// and the recovery disk, all of one kind, so the data disks' chunks left room
// for the recovery disk's record in the medium's own blocks. Then the second
// disk is lost, and the rebuild brings the file back whole from the others.
class RecoveryMediumTest : public MediaTest {};

TEST_P(RecoveryMediumTest, ALostDiskIsRebuiltFromTheRecoveryDisk) {
  if (const std::string why = MakeMedia(4); !why.empty()) {
    if (MediaRequired()) FAIL() << why;
    GTEST_SKIP() << why;
  }
  const std::optional<Space> blank = MeasureSpace(MountPoint(1));
  ASSERT_TRUE(blank);
  ASSERT_TRUE(WriteRandomFile(Work("src.bin"), blank->free_bytes * 5 / 2, 21));
  LaunchOptions options = Options();
  options.args = {"--recovery", "1"};
  std::unique_ptr<Session> split = Launch(options);
  ASSERT_TRUE(split);
  ASSERT_TRUE(
      Play(*split, std::vector<Step>{{"Slicery", kMenu, "y\nsrc.bin"}} +
                       SplitDisks({"1", "2", "3"}, true) +
                       std::vector<Step>{{"Insert Disk",
                                          "Please insert recovery disk #1 of 1 into "
                                          "drive.  (No data on disk will be "
                                          "overwritten.)",
                                          "o", "4"},
                                         {"Slicery", kComplete, "n"}}));
  ASSERT_TRUE(Ended(*split));
  ASSERT_TRUE(PlayToExit(std::vector<Step>{
      {"Slicery", kMenu, "n"},
      {"Slicery", kIdentify, "o", "1"},
      {"Slicery (question)", Confirm("src.bin"), "n\nrebuilt.bin"},
      {"Slicery", RequestDisk(1), "o", "1"},
      {"Slicery", RequestDisk(2), "c"},
      {"Slicery (question)",
       "Do you want to go on without Disk #2?\nIts blocks will be rebuilt "
       "from the recovery disks.",
       "y"},
      {"Slicery", "Please insert any recovery disk of this set.", "o", "4"},
      {"Slicery", RequestDisk(3), "o", "3"},
      {"Slicery", "Rebuilt from the recovery disks: all of Disk #2.", "o"},
      {"Slicery", kComplete, "n"}}));
  EXPECT_TRUE(SameContents(Work("src.bin"), Work("rebuilt.bin")));
}

INSTANTIATE_TEST_SUITE_P(Media, RecoveryMediumTest, ::testing::Values(kMedia[0]),
                         [](const auto& info) { return std::string(info.param.name); });

// A check of a set on ext2 floppy images with Disk #2 lost: first with a
// temporary folder (a tmpfs) too small for what new copies need, which is
// told, and the set checked without them; then with room, and a new copy of
// Disk #2 onto a fifth medium, the same bytes as the lost one, with which a
// plain rebuild needs no recovery disk. The disks checked are not written,
// not even an access time (the media mounted with strictatime).
class CheckMediumTest : public MediaTest {
 protected:
  // The access and modification times of every file on media 1, 3 and 4.
  std::vector<std::pair<std::int64_t, std::int64_t>> Times() const {
    const auto ns = [](const timespec& t) {
      return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
    };
    std::vector<std::pair<std::int64_t, std::int64_t>> times;
    for (const int n : {1, 3, 4}) {
      for (const auto& file : fs::directory_iterator(MountPoint(n))) {
        struct stat info {};
        if (stat(file.path().c_str(), &info) == 0)
          times.push_back({ns(info.st_atim), ns(info.st_mtim)});
      }
    }
    return times;
  }

  int Check(const std::vector<Step>& steps) {
    LaunchOptions options = Options();
    options.args = {"--check"};
    options.env.push_back({"TMPDIR", scratch_});
    std::unique_ptr<Session> check = Launch(options);
    EXPECT_TRUE(check && Play(*check, steps));
    const std::optional<ExitStatus> status = check ? check->WaitExit() : std::nullopt;
    return status && status->exited ? status->code : -1;
  }

  std::string scratch_;
};

TEST_P(CheckMediumTest, ALostDiskIsToldAndCopiedFromTheOthers) {
  if (const std::string why = MakeMedia(5); !why.empty()) {
    if (MediaRequired()) FAIL() << why;
    GTEST_SKIP() << why;
  }
  Medium small({"Tmpfs64KiB", MediumType::kTmpfs, 65536, {}}, temp_.path() + "/small");
  ASSERT_TRUE(small.mounted()) << small.error();
  const std::uint64_t size = MeasureSpace(MountPoint(1))->free_bytes * 5 / 2;
  ASSERT_TRUE(WriteRandomFile(Work("src.bin"), size, 23));
  LaunchOptions options = Options();
  options.args = {"--recovery", "1"};
  std::unique_ptr<Session> split = Launch(options);
  ASSERT_TRUE(split);
  ASSERT_TRUE(Play(*split, std::vector<Step>{{"Slicery", kMenu, "y\nsrc.bin"}} +
                               SplitDisks({"1", "2", "3"}, true) +
                               std::vector<Step>{{"Insert Disk",
                                                  "Please insert recovery disk #1 of 1 "
                                                  "into drive.  (No data on disk will be "
                                                  "overwritten.)",
                                                  "o", "4"},
                                                 {"Slicery", kComplete, "n"}}));
  ASSERT_TRUE(Ended(*split));
  std::string output;
  for (const int n : {1, 2, 3, 4}) {
    ASSERT_TRUE(
        RunCommand({"mount", "-o", "remount,strictatime", MountPoint(n)}, &output))
        << output;
    ASSERT_TRUE(RunCommand({"sh", "-c", "touch -a -d 2001-01-01 " + MountPoint(n) + "/*"},
                           &output))
        << output;
  }
  const auto times = Times();
  const std::vector<Step> disks = {
      {"Slicery", RequestDisk(1), "o", "1"},
      {"Slicery", RequestDisk(2), "c"},
      {"Slicery (question)",
       "Do you want to go on without Disk #2?\nThe check will count it as missing.", "y"},
      {"Slicery", "Please insert any recovery disk of this set.", "o", "4"},
      {"Slicery", RequestDisk(3), "o", "3"},
      {"Slicery", "Please insert recovery disk #1 of 1.", "o", "4"},
      {"Slicery (warning)",
       "The set can be rebuilt.\nDisk #2 is missing.\nIts weakest stripe, block 1 of the "
       "chunks, can take no more bad blocks.",
       "o"}};
  scratch_ = small.mount_point();
  EXPECT_EQ(
      Check(std::vector<Step>{{"Slicery", kIdentify, "o", "1"},
                              {"Slicery (warning)",
                               "New copies of damaged disks need " +
                                   std::to_string(size) + " bytes kept in " + scratch_ +
                                   "/ while the set is checked, and it has "
                                   "65536 bytes free.\nThe set will be checked "
                                   "without offering new copies.",
                               "o"}} +
            disks),
      1);
  scratch_ = temp_.path();
  EXPECT_EQ(
      Check(std::vector<Step>{{"Slicery", kIdentify, "o", "1"}} + disks +
            std::vector<Step>{
                {"Slicery (question)",
                 "Do you want to write new copies of Disk #2 now?\nEach needs a "
                 "blank disk (the damaged disk itself will do).",
                 "y"},
                {"Insert Disk", "Please insert a blank disk for Disk #2.", "o", "5"},
                {"Slicery",
                 "The set is whole.\nEvery block of its 3 data disks and 1 recovery "
                 "disk matches its checksum.",
                 "o"}}),
      0);
  EXPECT_TRUE(Times() == times) << "a disk checked was written, or its access time";
  for (const std::string& file :
       std::vector<std::string>{kDataFile, kInfoFile, "SLICERY.C2Z", kProbeFile}) {
    EXPECT_TRUE(SameContents(MountPoint(2) + "/" + file, MountPoint(5) + "/" + file))
        << file;
  }
  drive_.AddMedium("5 as 2", MountPoint(5));
  ASSERT_TRUE(PlayToExit(
      std::vector<Step>{{"Slicery", kMenu, "n"},
                        {"Slicery", kIdentify, "o", "1"},
                        {"Slicery (question)", Confirm("src.bin"), "n\nrebuilt.bin"},
                        {"Slicery", RequestDisk(1), "o", "1"},
                        {"Slicery", RequestDisk(2), "o", "5 as 2"},
                        {"Slicery", RequestDisk(3), "o", "3"},
                        {"Slicery", kComplete, "n"}}));
  EXPECT_TRUE(SameContents(Work("src.bin"), Work("rebuilt.bin")));
  small.Release();
}

INSTANTIATE_TEST_SUITE_P(Media, CheckMediumTest, ::testing::Values(kMedia[0]),
                         [](const auto& info) { return std::string(info.param.name); });

// Read errors in one file of a set with one recovery disk, on a medium whose
// reads of bytes `from` to `to` of that file fail, as bad sectors do. Each is
// told; a data block that does not read costs that block only, and what the
// recovery disk can rebuild is rebuilt.
struct ReadErrorCase {
  const char* name;
  const char* file;
  const char* disk;  // the disk moved onto the faulty medium, "bad"
  std::uint64_t from, to;
  std::vector<Step> steps;  // from the request for Disk #2 on
  bool whole = true;        // rebuilt.bin is the source
};

void PrintTo(const ReadErrorCase& c, std::ostream* out) { *out << c.name; }

constexpr std::uint64_t kAll = 1ull << 40;
const std::vector<Step> kDisk3ThenR1 = {
    {"Slicery", RequestDisk(3), "o", "3"},
    {"Slicery", "Please insert recovery disk #1 of 1.", "o", "r1"}};

const ReadErrorCase kReadErrors[] = {
    {"OneBlockOfAChunk", "SLICERY.A2Z", "2", 4096, 8192,
     std::vector<Step>{{"Slicery", RequestDisk(2), "o", "bad"},
                       {"Slicery (warning)",
                        "Disk #2 has 1 bad block of 15.\nIt will be rebuilt from the "
                        "recovery disks.",
                        "o"}} +
         kDisk3ThenR1 +
         std::vector<Step>{
             {"Slicery", "Rebuilt from the recovery disks: 1 block of Disk #2.", "o"},
             {"Slicery", kComplete, "n"}}},
    {"AFailingChunkLetGo", "SLICERY.A2Z", "2", 0, kAll,
     std::vector<Step>{{"Slicery", RequestDisk(2), "o", "bad"},
                       {"Slicery (question)",
                        "Disk #2 keeps failing to read: 8 blocks in a row could not be "
                        "read.\nDo you want to stop reading it, and rebuild the rest of "
                        "it from the recovery disks?",
                        "y"},
                       {"Slicery (warning)",
                        "Disk #2 has 15 bad blocks of 15.\nThey will be rebuilt from the "
                        "recovery disks.",
                        "o"}} +
         kDisk3ThenR1 +
         std::vector<Step>{
             {"Slicery", "Rebuilt from the recovery disks: 15 blocks of Disk #2.", "o"},
             {"Slicery", kComplete, "n"}}},
    {"TheChecksumFile", "SLICERY.C2Z", "2", 0, kAll,
     std::vector<Step>{{"Slicery", RequestDisk(2), "o", "bad"},
                       {"Slicery (warning)",
                        "The checksum file of Disk #2 cannot be read, so its data could "
                        "not be checked.\nIt is used as it stands.",
                        "o"},
                       {"Slicery", RequestDisk(3), "o", "3"},
                       {"Slicery", kComplete, "n"}}},
    {"TheRecoveryChunk", "SLICERY.R2Z", "r1", 4096, 8192,
     std::vector<Step>{
         {"Slicery", RequestDisk(2), "c"},
         {"Slicery (question)",
          "Do you want to go on without Disk #2?\nIts blocks will be rebuilt from the "
          "recovery disks.",
          "y"},
         {"Slicery", "Please insert any recovery disk of this set.", "o", "bad"},
         {"Slicery (warning)", "Recovery disk #1 has 1 bad block of 15 read.", "o"},
         {"Slicery", RequestDisk(3), "o", "3"},
         {"Error (error)",
          "Too much of this set is lost: the blocks of Disk #2 cannot be "
          "rebuilt.\n4096 bytes of the file are missing; the rest of it is "
          "in\nrebuilt.bin",
          "o"},
         {"Slicery (question)", kAnother, "n"}},
     false},
};

class ReadErrorTest : public E2eTest,
                      public ::testing::WithParamInterface<ReadErrorCase> {};

TEST_P(ReadErrorTest, IsToldAndWhatCanBeRebuiltIs) {
  const ReadErrorCase& c = GetParam();
  if (const std::string why = WhyNoPassthrough(); !why.empty()) {
    if (MediaRequired()) FAIL() << why;
    GTEST_SKIP() << why;
  }
  const std::string bytes = RandomBytes(150000, 8);
  ASSERT_TRUE(WriteFile(Work("src.bin"), bytes));
  LaunchOptions options = Options();
  options.args = {"--recovery", "1"};
  options.env.back().second = "60000";  // chunks of 15 blocks
  std::unique_ptr<Session> split = Launch(options);
  ASSERT_TRUE(split);
  ASSERT_TRUE(
      Play(*split, std::vector<Step>{{"Slicery", kMenu, "y\nsrc.bin"}} +
                       SplitDisks({"1", "2", "3"}, true) +
                       std::vector<Step>{{"Insert Disk",
                                          "Please insert recovery disk #1 of 1 into "
                                          "drive.  (No data on disk will be "
                                          "overwritten.)",
                                          "o", "r1"},
                                         {"Slicery", kComplete, "n"}}));
  ASSERT_TRUE(Ended(*split));
  // The disk moves onto the faulty medium.
  PassthroughMedium medium(temp_.path() + "/bad", PassthroughFault::kReadError, c.file,
                           c.from, c.to);
  ASSERT_TRUE(medium.mounted()) << medium.error();
  for (const auto& file : fs::directory_iterator(drive_.DiskPath(c.disk))) {
    fs::rename(file.path(), medium.backing() + "/" + file.path().filename().string());
  }
  drive_.AddMedium("bad", medium.mount_point());
  std::unique_ptr<Session> rebuild = Launch(options);
  ASSERT_TRUE(rebuild);
  EXPECT_TRUE(Play(*rebuild, std::vector<Step>{{"Slicery", kMenu, "n"},
                                               {"Slicery", kIdentify, "o", "1"},
                                               {"Slicery (question)", Confirm("src.bin"),
                                                "n\nrebuilt.bin"},
                                               {"Slicery", RequestDisk(1), "o", "1"}} +
                                 c.steps));
  EXPECT_TRUE(Ended(*rebuild));
  EXPECT_EQ(Holds(Work("rebuilt.bin"), bytes), c.whole);
  std::string error;
  EXPECT_TRUE(drive_.Insert("1", &error)) << error;  // off the medium before it goes
  medium.Release();
}

INSTANTIATE_TEST_SUITE_P(Media, ReadErrorTest, ::testing::ValuesIn(kReadErrors),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace slicery::e2e
