// slicery --check through the real program: one table of sets, each damaged
// as a row says, checked; the exit status, the verdict and the disks' lines;
// nothing written anywhere. Where the set can be rebuilt, new copies of its
// damaged disks, after which the old disks and every recovery disk are put
// away and a plain rebuild gives the file back.
#include <algorithm>
#include <filesystem>
#include <map>

#include "e2e/e2e_test.h"

namespace slicery::e2e {
namespace {

namespace fs = std::filesystem;

constexpr int kRecoveryVolume = 20000;  // five data disks of 80000 bytes
const std::string kDots(25, '.');

std::string Disk(int n) { return std::to_string(n); }
std::string RecoveryDisk(int n) { return "r" + std::to_string(n); }

struct CheckCase {
  const char* name;
  int recovery;                            // 0: a plain set
  std::vector<int> lost;                   // data disks the user goes without
  std::vector<int> lost_recovery;          // recovery disks the same
  std::vector<std::pair<int, int>> flips;  // disk, offset of a changed byte
  int shortened;                           // a disk whose chunk loses its last 100 bytes
  int status;                              // of the check, new copies declined
  std::string verdict;                     // what the verdict holds, after its first line
  std::vector<std::string> lines;          // console lines of the disks
  std::string identify = "1";              // the disk inserted first
  int damaged_record = 0;                  // a disk whose record has a wrong index
};

const CheckCase kCases[] = {
    {"whole set",
     2,
     {},
     {},
     {},
     0,
     0,
     "The set is whole.\nEvery block of its 5 data disks and 2 recovery disks matches "
     "its checksum.",
     {"Disk #1 [" + kDots + "] good", "Recovery disk #2 [" + kDots + "] good"},
     "r2"},
    {"lost data disk and a flipped byte",
     2,
     {5},
     {},
     {{4, 5000}},
     0,
     1,
     "The set can be rebuilt.\nDisk #4 has 1 bad block of 5.\nDisk #5 is missing.\nIts "
     "weakest stripe, block 2 of the chunks, can take no more bad blocks.",
     {"Disk #4 [" + kDots + "] 1 bad block of 5", "Disk #5 missing"}},
    {"lost recovery disk and a damaged record",
     2,
     {},
     {1},
     {},
     0,
     1,
     "The set can be rebuilt.\nDisk #3's blocks are all good, but its record is "
     "damaged.\nRecovery disk #1 is missing.\nIts weakest stripe, block 1 of the chunks, "
     "can take 1 more bad block.",
     {"Disk #3 [" + kDots + "] good; its record is damaged", "Recovery disk #1 missing",
      "Recovery disk #2 [" + kDots + "] good"},
     "1",
     3},
    {"more damage than recovery disks",
     1,
     {},
     {},
     {{2, 100}, {4, 200}},
     0,
     3,
     "The set cannot be rebuilt.\nThe blocks of Disk #2 and Disk #4 are lost",
     {"Disk #2 [" + kDots + "] 1 bad block of 5"}},
    {"plain set with a shortened chunk",
     0,
     {},
     {},
     {},
     2,
     3,
     "The set cannot be rebuilt.\nThe blocks of Disk #2 are lost",
     {"Disk #1 [" + kDots + "] 19400 bytes, as recorded",
      "Disk #2 [" + kDots.substr(1) + "] 19300 bytes, its record says 19400"}},
};

void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.name; }

// Every file below `root`, with its bytes and modification time.
using Snapshot = std::map<std::string, std::pair<std::string, fs::file_time_type>>;

Snapshot Take(const std::string& root) {
  Snapshot snapshot;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    snapshot[fs::relative(entry.path(), root).string()] = {
        ReadFile(entry.path().string()).value_or(""), entry.last_write_time()};
  }
  return snapshot;
}

class CheckTest : public E2eTest, public ::testing::WithParamInterface<CheckCase> {
 protected:
  CheckTest() { fs::create_directories(Scratch()); }

  std::string Scratch() const { return temp_.path() + "/tmp"; }
  std::string Shelf() const { return temp_.path() + "/disks"; }

  LaunchOptions WithVolume(std::vector<std::string> args) const {
    LaunchOptions options = Options();
    options.args = std::move(args);
    options.env.back().second = std::to_string(kRecoveryVolume);
    options.env.push_back({"TMPDIR", Scratch()});
    return options;
  }

  // Splits `source` onto data disks "1".."5" and recovery disks "r1"...
  ::testing::AssertionResult SplitSet(const std::string& source, int recovery) {
    std::vector<Step> steps{{"Slicery", kMenu, "y\n" + source}};
    for (int n = 1; n <= 5; ++n)
      steps.push_back({"Insert Disk",
                       recovery > 0 ? NumberedSplitInsert(n) : kSplitInsert, "o",
                       Disk(n)});
    for (int r = 1; r <= recovery; ++r) {
      steps.push_back({"Insert Disk",
                       "Please insert recovery disk #" + std::to_string(r) + " of " +
                           std::to_string(recovery) +
                           " into drive.  (No data on disk will be overwritten.)",
                       "o", RecoveryDisk(r)});
    }
    steps.push_back({"Slicery", kComplete, "n"});
    std::unique_ptr<Session> session = Launch(WithVolume(
        recovery > 0 ? std::vector<std::string>{"--recovery", std::to_string(recovery)}
                     : std::vector<std::string>{}));
    if (!session) return ::testing::AssertionFailure() << "not started";
    ::testing::AssertionResult played = Play(*session, steps);
    return played ? Ended(*session) : played;
  }

  // Answers the check's dialogs as a user with the disks of `c` would, and
  // writes new copies onto disks "new<k>" (or "newr<r>") when `copies`. The
  // exit status; the verdicts shown go to *verdicts.
  int RunCheck(const CheckCase& c, bool copies, std::vector<std::string>* verdicts,
               std::string* console) {
    std::unique_ptr<Session> session = Launch(WithVolume({"--check"}));
    if (!session) return -1;
    const auto has = [](const std::vector<int>& lost, int n) {
      return std::find(lost.begin(), lost.end(), n) != lost.end();
    };
    std::string error;
    bool offered_good_disk = false, offered_out_of_order = false;
    int refused = 0;
    std::optional<Dialog> dialog;
    for (int turn = 0; turn < 100 && (dialog = session->NextDialog()); ++turn) {
      const std::string& text = dialog->text;
      std::string reply = "o", disk;
      if (text == kIdentify) {
        disk = c.identify;
      } else if (text.starts_with(kInsertNumbered)) {
        const int n = std::stoi(text.substr(std::string(kInsertNumbered).size()));
        if (has(c.lost, n)) reply = "c";
        if (!has(c.lost, n)) disk = Disk(n);
        // Disk #2 offered for Disk #1 first: out of order, it is refused.
        if (n == 1 && !offered_out_of_order) disk = Disk(2);
        offered_out_of_order = offered_out_of_order || n == 1;
      } else if (text == kOutOfOrder) {
        ++refused;
      } else if (text.starts_with("Please insert recovery disk #")) {
        const int r = std::stoi(text.substr(29));
        if (has(c.lost_recovery, r)) reply = "c";
        if (!has(c.lost_recovery, r)) disk = RecoveryDisk(r);
      } else if (text.starts_with("Please insert any recovery disk")) {
        disk = RecoveryDisk(2);
      } else if (text.starts_with("The record of Disk #")) {
        reply = "o";  // the disk is read by its checksum file
      } else if (text.starts_with("Do you want to go on without ")) {
        reply = "y";
      } else if (text.starts_with("Do you want to write new copies of ")) {
        reply = copies ? "y" : "n";
      } else if (text.starts_with("Please insert a blank disk for ")) {
        disk = BlankDiskFor(c, text, &offered_good_disk);
      } else if (text == kUsedHere) {
        ++refused;
      } else if (text.starts_with("The set ")) {
        verdicts->push_back(text);
      } else {
        ADD_FAILURE() << "unexpected dialog: " << text << "\n" << session->Transcript();
        return -1;
      }
      if (!disk.empty()) {
        EXPECT_TRUE(drive_.Insert(disk, &error)) << error;
      }
      if (!session->Type(reply)) break;
    }
    // Each disk offered out of place was refused, and nothing else.
    EXPECT_EQ(refused, offered_out_of_order + offered_good_disk);
    const std::optional<ExitStatus> status = session->WaitExit();
    EXPECT_TRUE(drive_.Eject(&error)) << error;
    EXPECT_EQ(session->Stderr(), "");
    *console = session->Stdout();
    return status && status->exited ? status->code : -1;
  }

  // The disk for a new copy: a disk with a changed byte or a damaged record
  // takes its own copy; a lost one's goes onto a blank disk "new<k>" (or
  // "newr<r>"), after a good disk of the set was offered once and refused.
  static std::string BlankDiskFor(const CheckCase& c, const std::string& request,
                                  bool* offered_good_disk) {
    const bool recovery = request.find("recovery") != std::string::npos;
    const std::string number =
        request.substr(request.find('#') + 1, request.size() - request.find('#') - 2);
    for (const auto& [n, offset] : c.flips) {
      if (!recovery && number == Disk(n)) return number;
    }
    if (!recovery && number == Disk(c.damaged_record)) return number;
    if (!*offered_good_disk) {
      *offered_good_disk = true;
      return Disk(3);
    }
    return "new" + std::string(recovery ? "r" : "") + number;
  }

  // Puts away every recovery disk, and the lost disks' new copies in their
  // places.
  void UseNewCopies(const CheckCase& c) {
    for (int r = 1; r <= c.recovery; ++r)
      fs::remove_all(drive_.DiskPath(RecoveryDisk(r)));
    for (const int n : c.lost)
      fs::rename(drive_.DiskPath("new" + Disk(n)), drive_.DiskPath(Disk(n)));
  }
};

TEST_P(CheckTest, TellsWhatTheSetIsAndWritesNewCopiesOfItsDamagedDisks) {
  const CheckCase& c = GetParam();
  const std::string source = Work("src.bin");
  const std::string bytes = RandomBytes(80000, 17);
  ASSERT_TRUE(WriteFile(source, bytes));
  ASSERT_TRUE(SplitSet(source, c.recovery));
  std::string error;
  ASSERT_TRUE(drive_.Eject(&error)) << error;
  const Snapshot written = Take(Shelf());
  for (const int n : c.lost) fs::remove_all(drive_.DiskPath(Disk(n)));
  for (const int r : c.lost_recovery) fs::remove_all(drive_.DiskPath(RecoveryDisk(r)));
  for (const auto& [n, offset] : c.flips) {
    std::string chunk = ReadFile(drive_.FileOn(Disk(n), kDataFile)).value();
    chunk[offset] ^= 0x10;
    ASSERT_TRUE(WriteFile(drive_.FileOn(Disk(n), kDataFile), chunk));
  }
  if (c.damaged_record != 0) {
    const std::string path = drive_.FileOn(Disk(c.damaged_record), kInfoFile);
    std::string record = ReadFile(path).value();
    record[record.find("\r\n") + 2] = '7';  // the disk's index
    ASSERT_TRUE(WriteFile(path, record));
  }
  if (c.shortened != 0) {
    fs::resize_file(drive_.FileOn(Disk(c.shortened), kDataFile),
                    fs::file_size(drive_.FileOn(Disk(c.shortened), kDataFile)) - 100);
  }
  const Snapshot before = Take(temp_.path());
  std::vector<std::string> verdicts;
  std::string console;
  EXPECT_EQ(RunCheck(c, false, &verdicts, &console), c.status) << console;
  ASSERT_EQ(verdicts.size(), 1u) << console;
  EXPECT_EQ(verdicts[0].substr(0, c.verdict.size()), c.verdict) << verdicts[0];
  EXPECT_TRUE(console.starts_with(
      "\n== Slicery ==\nPlease insert a disk into drive.\n[O]K / [C]ancel: Slicery "
      "Operation: Check\nOriginal Filename: " +
      source + "\n"))
      << console;
  for (const std::string& line : c.lines) {
    EXPECT_NE(console.find(": " + line + "\n"), std::string::npos) << line << "\n"
                                                                   << console;
  }
  // Nothing written anywhere: not on the disks, not in the working or the
  // temporary folder.
  EXPECT_TRUE(Take(temp_.path()) == before);
  if (c.status != 1) return;
  // Now with new copies: then the set is whole, the copies are the disks as
  // the split wrote them, and a plain rebuild needs nothing else.
  verdicts.clear();
  EXPECT_EQ(RunCheck(c, true, &verdicts, &console), 0) << console;
  ASSERT_EQ(verdicts.size(), 2u) << console;
  EXPECT_TRUE(verdicts[1].starts_with("The set is whole.")) << verdicts[1];
  EXPECT_TRUE(fs::is_empty(Scratch()));
  // Every disk, new copies and disks rewritten in place alike, holds what the
  // split wrote on the disk it stands for.
  for (const auto& [name, file] : Take(Shelf())) {
    const std::string original = name.starts_with("new") ? name.substr(3) : name;
    ASSERT_EQ(written.count(original), 1u) << name;
    EXPECT_TRUE(file.first == written.at(original).first) << name;
  }
  UseNewCopies(c);
  ASSERT_TRUE(Rebuild(source, "rebuilt.bin", 5));
  EXPECT_TRUE(Holds(Work("rebuilt.bin"), bytes));
}

INSTANTIATE_TEST_SUITE_P(Sets, CheckTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CheckCase>& info) {
                           return CaseName(info.param.name);
                         });

}  // namespace
}  // namespace slicery::e2e
