// Sets with recovery disks through the real program: the split's recovery
// disks after its data disks.
#include <algorithm>
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
  ::testing::AssertionResult SplitSet(const std::string& source, int data, int recovery,
                                      int volume = kRecoveryVolume) {
    std::vector<Step> steps{{"Slicery", kMenu, "y\n" + source}};
    for (int n = 1; n <= data; ++n)
      steps.push_back({"Insert Disk", NumberedSplitInsert(n), "o", Disk(n)});
    for (int r = 1; r <= recovery; ++r) {
      steps.push_back(
          {"Insert Disk", RecoveryRequest(r, recovery), "o", RecoveryDisk(r)});
    }
    // The set ends with a line that names its disks for their labels.
    const std::string r = Disk(recovery);
    steps.push_back({"Slicery", kComplete, "n", "",
                     "This set: " + Disk(data) + " data disks, Disk #1 to Disk #" +
                         Disk(data) + ", and " + r + " recovery disk" +
                         (recovery == 1 ? ", #1" : "s, #1 to #" + r) + " of " + r + "."});
    LaunchOptions options = RecoveryOptions(recovery);
    options.env.back().second = std::to_string(volume);
    options.timeout = std::chrono::milliseconds(60000);
    std::unique_ptr<Session> session = Launch(options);
    if (!session) return ::testing::AssertionFailure() << "not started";
    ::testing::AssertionResult played = Play(*session, steps);
    if (!played) return played;
    return Ended(*session);
  }

  bool Has(const std::string& disk, const std::string& file) const {
    return std::filesystem::exists(drive_.FileOn(disk, file));
  }
};

// A number of recovery disks other than 1 to 16, from the option or the
// variable: one line on standard error and status 2, before the menu.
TEST_F(RecoveryTest, ABadNumberOfRecoveryDisksEndsWithStatus2) {
  struct Case {
    std::vector<std::string> args;
    const char* variable;
    const char* named;
  };
  const Case cases[] = {{{"--recovery", "17"}, nullptr, "--recovery"},
                        {{"--recovery=0"}, nullptr, "--recovery"},
                        {{}, "x", "SLICERY_RECOVERY"}};
  for (const Case& c : cases) {
    LaunchOptions options = Options();
    options.args = c.args;
    if (c.variable != nullptr) options.env.push_back({"SLICERY_RECOVERY", c.variable});
    std::unique_ptr<Session> session = Launch(options);
    ASSERT_TRUE(session);
    session->CloseInput();
    const std::optional<ExitStatus> status = session->WaitExit();
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->exited && status->code == 2) << session->Transcript();
    EXPECT_EQ(session->Stdout(), "");
    EXPECT_EQ(session->Stderr().rfind(std::string("slicery: ") + c.named, 0), 0u)
        << session->Stderr();
  }
}

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

// A recovery disk too small is refused; cancel at the second recovery request:
// the set is complete without it, and the user is told it has fewer recovery
// disks than asked for.
TEST_F(RecoveryTest, CancelAtARecoveryRequestLeavesFewerRecoveryDisks) {
  const std::string source = Work("src.bin");
  ASSERT_TRUE(WriteFile(source, RandomBytes(30000, 4)));
  std::filesystem::create_directories(drive_.DiskPath("small"));
  ASSERT_TRUE(WriteFile(drive_.FileOn("small", "other.bin"), std::string(12000, 'x')));
  std::unique_ptr<Session> session = Launch(RecoveryOptions(2));
  ASSERT_TRUE(session);
  ASSERT_TRUE(Play(*session, {{"Slicery", kMenu, "y\n" + source},
                              {"Insert Disk", NumberedSplitInsert(1), "o", "1"},
                              {"Insert Disk", NumberedSplitInsert(2), "o", "2"},
                              {"Insert Disk", RecoveryRequest(1, 2), "o", "small"}}));
  // A disk with too little room for a recovery chunk and its record is
  // refused, with the bytes it needs.
  const std::optional<Dialog> small = session->NextDialog();
  ASSERT_TRUE(small);
  EXPECT_EQ(small->text.rfind("Error: this disk is too small for a recovery disk of this "
                              "set.\nA recovery disk needs ",
                              0),
            0u)
      << small->text;
  EXPECT_TRUE(small->text.ends_with(" bytes free.")) << small->text;
  ASSERT_TRUE(session->Type("o"));
  ASSERT_TRUE(Play(
      *session, {{"Insert Disk", RecoveryRequest(1, 2), "o", "r1"},
                 {"Insert Disk", RecoveryRequest(2, 2), "c"},
                 {"Slicery (question)", kAbort, "y"},
                 {"Slicery (warning)",
                  "The data disks of this set are complete, but it has fewer recovery "
                  "disks than asked for: 1 of 2.",
                  "o"},
                 {"Slicery (question)", kAnother, "n", "",
                  "This set: 2 data disks, Disk #1 to Disk #2, and 1 recovery disk, #1 "
                  "of 2.\n"}}));
  EXPECT_TRUE(Ended(*session));
  EXPECT_TRUE(Has("r1", "SLICERY.R2Z"));
}

// A file changed in place with its time put back ends the split where a
// recovery disk would be computed from it: that disk would not match the data
// disks. The first recovery disk's pass keeps the later disks' chunks in the
// temporary folder, so a change after it reaches no disk; without room there,
// each disk reads the file again and finds the change.
TEST_F(RecoveryTest, ASourceChangedInPlaceEndsTheSplitWhereARecoveryDiskReadsIt) {
  struct Case {
    int changed_before;  // recovery disk
    bool temp_room;
    bool complete;
  };
  const Case cases[] = {{1, true, false}, {2, false, false}, {2, true, true}};
  for (const Case& c : cases) {
    // Each case has disks and a file of its own.
    const std::string tag = std::to_string(&c - cases);
    const std::string source = Work("src" + tag + ".bin");
    ASSERT_TRUE(WriteFile(source, RandomBytes(30000, 6)));
    const auto change_in_place = [&source] {
      const std::filesystem::file_time_type time =
          std::filesystem::last_write_time(source);
      std::string bytes = ReadFile(source).value();
      bytes[20000] ^= 0x01;
      EXPECT_TRUE(WriteFile(source, bytes));
      std::filesystem::last_write_time(source, time);
    };
    LaunchOptions options = RecoveryOptions(2);
    if (!c.temp_room) options.env.push_back({"TMPDIR", Work("no-such-folder")});
    std::unique_ptr<Session> session = Launch(options);
    ASSERT_TRUE(session);
    std::vector<Step> steps{{"Slicery", kMenu, "y\n" + source}};
    for (int n = 1; n <= 2; ++n)
      steps.push_back({"Insert Disk", NumberedSplitInsert(n), "o", tag + Disk(n)});
    for (int r = 1; r <= c.changed_before; ++r) {
      steps.push_back({"Insert Disk", RecoveryRequest(r, 2), "o", tag + RecoveryDisk(r)});
    }
    steps.back().before = change_in_place;
    if (c.complete) {
      steps.push_back({"Slicery", kComplete, "n"});
    } else {
      steps.push_back({"Error (error)", kSourceChanged, "o"});
      steps.push_back({"Slicery (question)", kAnother, "n"});
    }
    EXPECT_TRUE(Play(*session, steps)) << tag;
    EXPECT_TRUE(Ended(*session));
    EXPECT_EQ(Has(tag + RecoveryDisk(c.changed_before), "SLICERY.R2Z"), c.complete)
        << tag;
  }
}

// A file that needs more than 255 data and recovery disks is told so at the
// first disk, before anything is written there: No stops the split, Yes goes
// on with a plain set, whose disks hold no checksum files.
TEST_F(RecoveryTest, MoreThan255DisksIsAskedAtTheFirstDisk) {
  const std::string source = Work("src.bin");
  ASSERT_TRUE(WriteFile(source, RandomBytes(1600000, 5)));  // 83 plain chunks
  const std::string asked =
      "With 16 recovery disks, this file needs more than 239 data disks like this "
      "one: more than the 255 disks in all that recovery disks can protect.\nDo you "
      "want to go on without recovery disks?";
  for (const char* answer : {"n", "y"}) {
    std::unique_ptr<Session> session = Launch(RecoveryOptions(16));
    ASSERT_TRUE(session);
    ASSERT_TRUE(Play(*session, {{"Slicery", kMenu, "y\n" + source},
                                {"Insert Disk", NumberedSplitInsert(1), "o", Disk(1)},
                                {"Slicery (question)", asked, answer}}));
    int disks = 1;
    std::optional<Dialog> dialog;
    while ((dialog = session->NextDialog()) &&
           dialog->text == NumberedSplitInsert(disks + 1)) {
      std::string error;
      ASSERT_TRUE(drive_.Insert(Disk(++disks), &error)) << error;
      ASSERT_TRUE(session->Type("o"));
    }
    ASSERT_TRUE(dialog) << session->Transcript();
    EXPECT_EQ(dialog->text, *answer == 'y' ? kComplete : kAnother);
    EXPECT_EQ(
        dialog->console.ends_with(
            "This set: 83 data disks, Disk #1 to Disk #83, and no recovery disks.\n"),
        *answer == 'y')
        << dialog->console;
    ASSERT_TRUE(session->Type("n"));
    EXPECT_TRUE(Ended(*session));
    EXPECT_EQ(disks, *answer == 'y' ? 83 : 1);
    EXPECT_EQ(Has(Disk(1), kDataFile), *answer == 'y');
    for (int n = 1; n <= disks; ++n) EXPECT_FALSE(Has(Disk(n), "SLICERY.C2Z")) << n;
  }
  EXPECT_EQ(std::filesystem::file_size(drive_.FileOn(Disk(82), kDataFile)), 19400u);
}

// A file of a disk damaged before the rebuild: the byte at `offset` changed,
// or every byte overwritten, as a bad sector reads, or the file gone.
constexpr int kOverwritten = -1, kDeleted = -2;
struct Damage {
  std::string disk;
  const char* file;
  int offset;
};

// One rebuild of a set of five data disks: which disks the user does not
// have, which bytes have decayed on the disks, and how it ends.
struct RebuildCase {
  const char* name;
  int recovery;
  std::vector<int> lost = {};                   // data disks the user cancels
  std::vector<std::pair<int, int>> flips = {};  // disk, offset in its chunk
  bool identify_with_recovery = false;
  bool complete = true;
  const char* told = "";  // part of an error, or of the notice of what was rebuilt
  std::vector<Damage> damaged = {};
  bool over_existing = false;    // rebuilt.bin is there already, and is overwritten
  int notices = -1;              // warnings; -1: one per flip and damaged file
  int cancel_recovery = 0;       // the recovery disk the user does not have
  bool swap_recovery = false;    // the first recovery disk asked for is the other one
  int volume = kRecoveryVolume;  // the file is 4 volumes: 5 data disks
  int smaller_first = 0;         // bytes of another file on Disk #1
};

const RebuildCase kRebuildCases[] = {
    {"first disk lost", 2, {1}, {}},
    {"middle disk lost", 2, {3}, {}},
    {"last disk lost", 2, {5}, {}},
    {"first two lost", 2, {1, 2}, {}},
    {"two apart lost", 2, {2, 4}, {}},
    {"last two lost", 2, {4, 5}, {}},
    {"one byte flipped", 2, {}, {{3, 5000}}},
    {"one recovery disk, flips in two disks at other blocks",
     1,
     {},
     {{2, 100}, {4, 9000}}},
    {"one recovery disk, flips in two disks at one block",
     1,
     {},
     {{2, 100}, {4, 200}},
     false,
     false,
     "the blocks of Disk #2 and Disk #4 cannot be rebuilt"},
    {"recovery disk at identification", 2, {}, {}, true},
    {"checksum file damaged", 1, {}, {}, false, true, "", {{"3", "SLICERY.C2Z", 30}}},
    {"three disks lost",
     2,
     {1, 3, 5},
     {},
     false,
     false,
     "the blocks of Disk #1, Disk #3 and Disk #5 cannot be rebuilt"},
    {"over an existing file, a disk lost", 2, {2}, {}, false, true, "", {}, true},
    {"over an existing file, three disks lost",
     2,
     {1, 3, 5},
     {},
     false,
     false,
     "cannot be rebuilt",
     {},
     true},
    {.name = "checksum file of the first disk gone",
     .recovery = 1,
     .damaged = {{"1", "SLICERY.C2Z", kDeleted}}},
    {.name = "checksum file damaged and its chunk too, recovery disk first",
     .recovery = 1,
     .flips = {{3, 5000}},
     .identify_with_recovery = true,
     .told = "all of Disk #3",
     .damaged = {{"3", "SLICERY.C2Z", 30}},
     .notices = 1},
    // Its chunk, unchecked, rebuilds the lost disk wrong: the file's checksum tells.
    {.name = "checksum file and chunk damaged, a later disk lost",
     .recovery = 2,
     .lost = {4},
     .flips = {{3, 5000}},
     .complete = false,
     .told = "does not match the checksum",
     .damaged = {{"3", "SLICERY.C2Z", 30}},
     .notices = 1},
    {.name = "record damaged",
     .recovery = 2,
     .damaged = {{"2", "SLICERY.Q2Z", kOverwritten}}},
    {.name = "record of the last disk damaged",
     .recovery = 2,
     .damaged = {{"5", "SLICERY.Q2Z", kOverwritten}}},
    {.name = "recovery chunk damaged",
     .recovery = 2,
     .lost = {3},
     .told = "all of Disk #3",
     .damaged = {{"r1", "SLICERY.R2Z", 100}}},
    {.name = "recovery record damaged",
     .recovery = 2,
     .flips = {{3, 5000}},
     .told = "cannot be read",
     .damaged = {{"r1", "SLICERY.P2Z", 30}},
     .notices = 1},
    {.name = "cancel at a recovery disk",
     .recovery = 2,
     .flips = {{2, 100}},
     .cancel_recovery = 1},
    {.name = "wrong recovery disk inserted",
     .recovery = 2,
     .lost = {2, 4},
     .told = "read already",
     .swap_recovery = true},
    {.name = "smaller first disk, the longest lost",
     .recovery = 2,
     .lost = {2},
     .volume = 17000000,
     .smaller_first = 1000000}};

class RecoveryRebuildTest : public RecoveryTest,
                            public ::testing::WithParamInterface<RebuildCase> {
 protected:
  // Answers every dialog of a rebuild as a user with the disks of `c` would.
  // True when it ended "Operation complete!"; the text of an error that
  // ended it goes to *told, bad-block notices are counted in *bad_notices.
  bool RunRebuild(const RebuildCase& c, std::string* told, int* bad_notices) {
    std::unique_ptr<Session> session = Launch();
    EXPECT_TRUE(session);
    if (!session) return false;
    session->set_timeout(std::chrono::milliseconds(60000));
    const std::string first = c.identify_with_recovery ? RecoveryDisk(c.recovery)
                              : std::find(c.lost.begin(), c.lost.end(), 1) != c.lost.end()
                                  ? Disk(2)
                                  : Disk(1);
    bool complete = false, swapped = false;
    std::string error;
    for (int turn = 0; turn < 100; ++turn) {
      const std::optional<Dialog> dialog = session->NextDialog();
      if (!dialog) break;
      const std::string& text = dialog->text;
      std::string reply = "o", disk;
      if (text == kMenu) {
        reply = turn == 0 ? "n" : "c";
      } else if (text == kIdentify) {
        disk = first;
      } else if (text.starts_with(kConfirmTarget)) {
        reply = "n\nrebuilt.bin";
      } else if (text.starts_with(kInsertNumbered)) {
        const int n = std::stoi(text.substr(std::string(kInsertNumbered).size()));
        const bool lost = std::find(c.lost.begin(), c.lost.end(), n) != c.lost.end();
        reply = lost ? "c" : "o";
        if (!lost) disk = Disk(n);
      } else if (text == kOverwrite) {
        reply = "y";
      } else if (text.find("without Disk #") != std::string::npos) {
        reply = "y";
      } else if (text.starts_with("Please insert any recovery disk")) {
        disk = RecoveryDisk(1);
      } else if (text.starts_with("Please insert recovery disk #")) {
        const int n = std::stoi(text.substr(29));
        reply = n == c.cancel_recovery ? "c" : "o";
        if (n != c.cancel_recovery)
          disk = RecoveryDisk(c.swap_recovery && !swapped ? 3 - n : n);
        swapped = true;
      } else if (dialog->icon == "warning") {
        ++*bad_notices;
      } else if (text.starts_with("Rebuilt from the recovery disks: ")) {
        *told += text;
      } else if (text == kComplete) {
        complete = true;
        reply = "n";
      } else if (text == kAnother) {
        reply = "n";
      } else if (dialog->caption == "Error") {
        *told += text;
      } else {
        ADD_FAILURE() << "unexpected dialog: " << text << "\n" << session->Transcript();
        return false;
      }
      if (!disk.empty()) {
        EXPECT_TRUE(drive_.Insert(disk, &error)) << error;
      }
      if (!session->Type(reply)) break;
    }
    EXPECT_TRUE(Ended(*session));
    return complete;
  }
};

// Lost disks, decayed bytes and recovery disks used at identification: the
// file comes back whole where each stripe has at most N bad blocks, and
// otherwise the user is told which disks cannot be rebuilt.
TEST_P(RecoveryRebuildTest, RebuildsWhatTheRecoveryDisksCover) {
  const RebuildCase& c = GetParam();
  const std::string source = Work("src.bin");
  const std::string bytes = RandomBytes(4 * c.volume, 11);
  ASSERT_TRUE(WriteFile(source, bytes));
  std::filesystem::create_directories(drive_.DiskPath("1"));
  ASSERT_TRUE(
      WriteFile(drive_.FileOn("1", "other.bin"), std::string(c.smaller_first, 'x')));
  ASSERT_TRUE(SplitSet(source, 5, c.recovery, c.volume));
  for (const auto& [disk, offset] : c.flips) {
    const std::string path = drive_.FileOn(Disk(disk), kDataFile);
    std::string chunk = ReadFile(path).value();
    chunk[offset] ^= 0x10;
    ASSERT_TRUE(WriteFile(path, chunk));
  }
  for (const Damage& damage : c.damaged) {
    const std::string path = drive_.FileOn(damage.disk, damage.file);
    std::string bytes = ReadFile(path).value();
    if (damage.offset >= 0) bytes[damage.offset] ^= 0x01;
    if (damage.offset == kOverwritten) bytes.assign(bytes.size(), '\xF6');
    ASSERT_TRUE(damage.offset == kDeleted ? std::filesystem::remove(path)
                                          : WriteFile(path, bytes));
  }
  // A file already at the target is replaced only by a whole one.
  const std::string old_bytes = "an older rebuilt.bin";
  if (c.over_existing) {
    ASSERT_TRUE(WriteFile(Work("rebuilt.bin"), old_bytes));
  }
  std::string told;
  int bad_notices = 0;
  const bool complete = RunRebuild(c, &told, &bad_notices);
  EXPECT_EQ(complete, c.complete) << told;
  EXPECT_EQ(bad_notices, c.notices >= 0
                             ? c.notices
                             : static_cast<int>(c.flips.size() + c.damaged.size()));
  EXPECT_NE(told.find(c.told), std::string::npos) << told;
  if (c.complete) {
    EXPECT_TRUE(Holds(Work("rebuilt.bin"), bytes));
    EXPECT_FALSE(std::filesystem::exists(Work("rebuilt.bin.slicery-partial")));
  } else {
    if (c.over_existing) {
      EXPECT_TRUE(Holds(Work("rebuilt.bin"), old_bytes));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RecoveryRebuildTest, ::testing::ValuesIn(kRebuildCases),
                         [](const ::testing::TestParamInfo<RebuildCase>& info) {
                           return CaseName(info.param.name);
                         });

}  // namespace
}  // namespace slicery::e2e
