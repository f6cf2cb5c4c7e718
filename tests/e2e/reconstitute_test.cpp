// The rebuild of a five-volume set when the user inserts the wrong disk, a
// disk without a record or data, a damaged disk, picks an existing or
// impossible location, or gives up. The set is recorded as "src.bin"; runs
// rebuild from out/ unless a scenario names another folder.
#include <sys/stat.h>

#include <filesystem>

#include "e2e/e2e_test.h"

namespace slicery::e2e {
namespace {

using namespace std::string_literals;

constexpr int kSize = 4 * kChunk + 500;

// Refused whole: its first 259 characters would name a file that can be made.
const std::string kOverlong = "dir/" + std::string(296, 'x');

struct Scenario {
  const char* name;
  std::vector<Step> steps;       // after the menu's "No"
  const char* target;            // in the run's folder: the file to check, or none
  int kept_bytes;                // of the source expected there; -1: all of it
  const char* dir = "work/out";  // where the program runs, below the test's folder
};

std::vector<Step> Identify(const std::string& target_reply) {
  return {{"Slicery", kIdentify, "o", "1"},
          {"Slicery (question)", Confirm("src.bin"), target_reply}};
}
const std::vector<Step> kAccept = Identify("y");
const std::vector<Step> kDone = {{"Slicery", kComplete, "n"}};

Step Say(const std::string& text, const std::string& reply = "o") {
  return {"Error (error)", text, reply};
}

// A damaged disk: its progress line ends after the dots it drew (one per 40
// bytes of a 1000-byte chunk), without the count.
Step Damaged(int dots) {
  return {"Error (error)", kDamaged, "o", "",
          "Reconstituting Data [" + std::string(dots, '.') + "\n"};
}

const Scenario kScenarios[] = {
    {"IdentifiedByDiskThree",
     std::vector<Step>{{"Slicery", kIdentify, "o", "3"},
                       {"Slicery (question)", Confirm("src.bin"), "y"}} +
         Requests(1, 5) + kDone,
     "src.bin", -1},
    {"DiskOutOfOrder",
     kAccept +
         std::vector<Step>{{"Slicery", RequestDisk(1), "o", "2"}, Say(kOutOfOrder)} +
         Requests(1, 5) + kDone,
     "src.bin", -1},
    {"DiskOfAnotherSet",
     kAccept + Requests(1, 1) +
         std::vector<Step>{{"Slicery", RequestDisk(2), "o", "other"}, Say(kOtherSet)} +
         Requests(2, 5) + kDone,
     "src.bin", -1},
    {"MissingRecordRetried",
     kAccept + Requests(1, 1) +
         std::vector<Step>{{"Slicery", RequestDisk(2), "o", "blank"},
                           {"Error (error)", kNoRecord, "y", "2"}} +
         Requests(3, 5) + kDone,
     "src.bin", -1},
    {"MissingRecordAskedAgain",
     kAccept + Requests(1, 1) +
         std::vector<Step>{{"Slicery", RequestDisk(2), "o", "blank"},
                           Say(kNoRecord, "n")} +
         Requests(2, 5) + kDone,
     "src.bin", -1},
    {"ExistingLocationDeclined",
     Identify("n\nexisting.bin") +
         std::vector<Step>{{"Slicery (question)", kOverwrite, "n\nfresh.bin"},
                           {"Slicery", RequestDisk(1), "o", "1",
                            "Please enter desired location to reconstitute.\n"
                            "Slicery Operation: Reconstitute\nOriginal Filename: "
                            "src.bin\nTarget Filename:   fresh.bin\n"}} +
         Requests(2, 5) + kDone,
     "fresh.bin", -1},
    {"ExistingLocationTruncated",
     Identify("n\nexisting.bin") +
         std::vector<Step>{{"Slicery (question)", kOverwrite, "y"}} + Requests(1, 5) +
         kDone,
     "existing.bin", -1},
    {"OverlongLocationRefused",
     Identify("n\n" + kOverlong) + std::vector<Step>{Say(kCannotCreate, "o\nfresh.bin")} +
         Requests(1, 5) + kDone,
     "fresh.bin", -1},
    {"CancelAtDiskRequest",
     kAccept + Requests(1, 2) + std::vector<Step>{{"Slicery", RequestDisk(3), "c"}},
     "src.bin", 2 * kChunk},
    {"MissingDataFile",
     kAccept + Requests(1, 1) +
         std::vector<Step>{{"Slicery", RequestDisk(2), "o", "nodata"},
                           {"Fatal error (error)", kReadFatal, "o"}},
     "src.bin", kChunk},
    {"ShortDiskInsertedAgain",
     kAccept + Requests(1, 1) +
         std::vector<Step>{{"Slicery", RequestDisk(2), "o", "short"}, Damaged(12)} +
         Requests(2, 5) + kDone,
     "src.bin", -1},
    {"LongDiskCutBack",
     kAccept + Requests(1, 1) +
         std::vector<Step>{{"Slicery", RequestDisk(2), "o", "long"},
                           Damaged(37),
                           {"Slicery", RequestDisk(2), "c"}},
     "src.bin", kChunk},
    {"RecordedFileAskedAbout",
     kAccept +
         std::vector<Step>{{"Slicery (question)", kOverwrite, "n\nfresh.bin"},
                           {"Slicery", RequestDisk(1), "o", "1",
                            "Please enter desired location to reconstitute.\n"}} +
         Requests(2, 5) + kDone,
     "fresh.bin", -1, "work"},
    {"DirectoryLocationRefused",
     Identify("n\ndir") + std::vector<Step>{Say(kCannotCreate, "o\nfresh.bin")} +
         Requests(1, 5) + kDone,
     "fresh.bin", -1},
    {"VolumeFileRefusedAsLocation",
     Identify("n\nSLICERY.A2Z") +
         std::vector<Step>{Say(kCannotCreate, "o\n../work/out/fresh.bin")} +
         Requests(1, 5) + kDone,
     "../work/out/fresh.bin", -1, "drive"},
    {"FifoLocationRefused",
     Identify("n\nfifo") + std::vector<Step>{Say(kCannotCreate, "o\nfresh.bin")} +
         Requests(1, 5) + kDone,
     "fresh.bin", -1},
    {"LocationWithNulRefused",
     Identify("n\nfresh.bin\0x"s) +
         std::vector<Step>{Say(kCannotCreate, "o\nfresh.bin")} + Requests(1, 5) + kDone,
     "fresh.bin", -1},
    {"TargetOnFullDevice",
     Identify("n\n/dev/full") +
         std::vector<Step>{{"Slicery (question)", kOverwrite, "y"},
                           {"Slicery", RequestDisk(1), "o", "1"},
                           {"Fatal error (error)", kWriteFatal, "o"}},
     nullptr, 0},
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

class ReconstituteTest : public E2eTest, public ::testing::WithParamInterface<Scenario> {
 protected:
  // The set, plus the odd disks: disk 1 of another set, a blank disk, disk 2
  // without its data file, and disk 2 with its data file cut short or too long.
  void SetUp() override {
    bytes_ = RandomBytes(kSize, 3);
    ASSERT_TRUE(WriteFile(Work("src.bin"), bytes_));
    ASSERT_TRUE(Split("src.bin", 5));
    std::string error;
    ASSERT_TRUE(drive_.Eject(&error)) << error;
    namespace fs = std::filesystem;
    fs::copy(drive_.DiskPath("1"), drive_.DiskPath("other"));
    const std::string record = Record("1");
    const int id = std::stoi(record.substr(record.rfind('\n') + 1));
    ASSERT_TRUE(WriteFile(
        drive_.FileOn("other", kInfoFile),
        record.substr(0, record.rfind('\n') + 1) + std::to_string((id + 1) % 32768)));
    fs::copy(drive_.DiskPath("2"), drive_.DiskPath("nodata"));
    fs::remove(drive_.FileOn("nodata", kDataFile));
    fs::copy(drive_.DiskPath("2"), drive_.DiskPath("short"));
    fs::resize_file(drive_.FileOn("short", kDataFile), kChunk / 2);
    fs::copy(drive_.DiskPath("2"), drive_.DiskPath("long"));
    ASSERT_TRUE(WriteFile(drive_.FileOn("long", kDataFile),
                          bytes_.substr(kChunk, kChunk) + RandomBytes(500, 7)));
    fs::create_directories(Work("out/dir"));
    // No program writes to it: opening it either way would wait forever.
    ASSERT_EQ(mkfifo(Work("out/fifo").c_str(), 0600), 0);
    ASSERT_TRUE(WriteFile(Work("out/existing.bin"), RandomBytes(3 * kSize, 5)));
  }

  std::string bytes_;
};

TEST_P(ReconstituteTest, FollowsTheDialogs) {
  const Scenario& scenario = GetParam();
  const std::string dir = temp_.path() + "/" + scenario.dir;
  std::unique_ptr<Session> session = Launch(dir);
  ASSERT_TRUE(session);
  ASSERT_TRUE(
      Play(*session, std::vector<Step>{{"Slicery", kMenu, "n"}} + scenario.steps));
  ASSERT_TRUE(Ended(*session));
  EXPECT_EQ(session->TrailingConsole(), "");
  if (scenario.kept_bytes >= 0) {
    EXPECT_EQ(session->Stdout().find("Operation complete!"), std::string::npos);
  }
  // The file the set was made from is never touched.
  EXPECT_TRUE(Holds(Work("src.bin"), bytes_));
  if (scenario.target == nullptr) return;
  const std::string kept =
      scenario.kept_bytes < 0 ? bytes_ : bytes_.substr(0, scenario.kept_bytes);
  EXPECT_TRUE(Holds(dir + "/" + scenario.target, kept));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ReconstituteTest, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace slicery::e2e
