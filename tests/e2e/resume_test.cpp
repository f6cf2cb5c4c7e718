// A split stopped part-way at Disk #3 (or at its recovery disk), then the same
// file split again: with the user's Yes and the file as it was, it goes on
// from the next disk with the same set, which ends up as an uninterrupted
// split writes it; otherwise it starts afresh at Disk #1, as without a journal.
#include <signal.h>

#include <filesystem>

#include "e2e/e2e_test.h"

namespace slicery::e2e {
namespace {

namespace fs = std::filesystem;

enum class Then { kNothing, kChangedTimeKept, kGrown, kJournalDamaged, kDisk1Offered };

struct Resume {
  const char* name;
  Then then = Then::kNothing;  // between the runs; kDisk1Offered: when going on
  char answer = 'y';           // to the question; 0: none is asked
  std::vector<std::string> args = {};
  int killed = 0;         // SIGKILL at Disk #3 once its chunk began (1), or read back (2)
  bool variable = false;  // SLICERY_NO_RESUME=1
  bool unwritable = false;  // the state folder cannot be made
};

void PrintTo(const Resume& test, std::ostream* out) { *out << test.name; }

const std::string kRecoveryRequest =
    "Please insert recovery disk #1 of 1 into drive.  (No data on disk will be "
    "overwritten.)";

// A file of a disk without the line of the set `id`, nor the checksum over it.
std::string WithoutId(const fs::path& path, const std::string& id) {
  std::string text = ReadFile(path).value_or("<none>");
  if (path.filename() == kInfoFile) return text.substr(0, text.rfind('\n'));
  if (path.extension() != ".C2Z" && path.extension() != ".P2Z") return text;
  text.erase(text.rfind('\n'));
  const std::size_t at = text.find("\n" + id + "\r");
  return at == std::string::npos ? text : text.erase(at, id.size() + 2);
}

class ResumeTest : public E2eTest, public ::testing::WithParamInterface<Resume> {
 protected:
  const Resume& test_ = GetParam();
  const bool recovery_ = test_.args.size() == 2;  // --recovery 1

  // A split of src.bin, played through `steps`; null when they did not come.
  std::unique_ptr<Session> Start(const std::vector<Step>& steps) {
    LaunchOptions options = Options();
    options.args = test_.args;
    if (recovery_) options.env.back().second = "20000";
    if (test_.variable) options.env.push_back({"SLICERY_NO_RESUME", "1"});
    std::unique_ptr<Session> session = Launch(options);
    if (!session) return nullptr;
    const auto played =
        Play(*session, std::vector<Step>{{"Slicery", kMenu, "y\nsrc.bin"}} + steps);
    if (!played) ADD_FAILURE() << played.message();
    return played ? std::move(session) : nullptr;
  }
  // Disks `prefix`1 to 5, and the recovery disk `prefix`r, then completion.
  std::vector<Step> ToTheEnd(const std::string& prefix, int from) const {
    std::vector<Step> steps;
    for (int n = from; n <= 5; ++n) {
      // A set with recovery disks names each data disk it asks for.
      steps.push_back({"Insert Disk", recovery_ ? NumberedSplitInsert(n) : kSplitInsert,
                       "o", prefix + std::to_string(n)});
    }
    if (recovery_) steps.push_back({"Insert Disk", kRecoveryRequest, "o", prefix + "r"});
    return steps + std::vector<Step>{{"Slicery", kComplete, "n"}};
  }
  std::string Id(const std::string& disk) const {
    return Record(disk).substr(Record(disk).rfind('\n') + 1);
  }
};

TEST_P(ResumeTest, GoesOnFromTheNextDiskOrStartsAfresh) {
  const bool no_resume =
      test_.variable || test_.args == std::vector<std::string>{"--no-resume"};
  const bool goes_on = test_.answer == 'y' && test_.then != Then::kChangedTimeKept;
  ASSERT_TRUE(!test_.unwritable || WriteFile(state_, "a file where its folder goes"));
  std::string bytes = RandomBytes(recovery_ ? 85000 : 4500, 31);  // five data disks
  ASSERT_TRUE(WriteFile(Work("src.bin"), bytes));
  std::unique_ptr<Session> session = Start(ToTheEnd("u", 1));  // uninterrupted
  ASSERT_TRUE(session && Ended(*session));

  // Stopped at the next request: aborted, or killed (a recovery set at its
  // recovery disk; else at Disk #3 once part of its chunk was on it, or the
  // whole and its record, which the journal lacks).
  std::vector<Step> stop = ToTheEnd("", 1);
  stop.resize(recovery_ ? 5 : 2);
  const auto plant = [&] {
    if (test_.killed == 0) return;
    fs::create_directories(drive_.DiskPath("3"));
    const std::string chunk = *ReadFile(drive_.FileOn("u3", kDataFile));
    const std::string record =
        Record("u3").substr(0, Record("u3").rfind('\n') + 1) + Id("1");
    EXPECT_TRUE(WriteFile(drive_.FileOn("3", kDataFile),
                          test_.killed == 1 ? chunk.substr(0, 300) : chunk));
    EXPECT_TRUE(test_.killed != 2 || WriteFile(drive_.FileOn("3", kInfoFile), record));
  };
  // A journal that cannot be written: the split goes on, and says so once.
  if (test_.unwritable)
    stop[1].console =
        "The journal of this split could not be written: if the split "
        "stops, it cannot be resumed.";
  const bool killed = test_.killed != 0 || recovery_;
  stop.push_back({"Insert Disk", recovery_ ? kRecoveryRequest : kSplitInsert,
                  killed ? "" : "c", test_.killed != 0 ? "3" : "", "", plant});
  if (!killed) {
    stop = stop + std::vector<Step>{{"Slicery (question)", kAbort, "y"},
                                    {"Slicery (question)", kAnother, "n"}};
  }
  session = Start(stop);
  ASSERT_TRUE(session && (killed ? session->Signal(SIGKILL) && session->WaitExit()
                                 : Ended(*session)));
  // The journal stays; --no-resume writes nothing to the state folder.
  const std::string journals = state_ + "/slicery", old_id = Id("1");
  ASSERT_EQ(fs::exists(journals) && !fs::is_empty(journals),
            !no_resume && !test_.unwritable);
  EXPECT_EQ(fs::exists(state_), !no_resume);
  const fs::file_time_type time = fs::last_write_time(Work("src.bin"));
  if (test_.then == Then::kChangedTimeKept || test_.then == Then::kGrown) {
    bytes[0] ^= 1;
    if (test_.then == Then::kGrown) bytes += "more";
    ASSERT_TRUE(WriteFile(Work("src.bin"), bytes));
    if (test_.then == Then::kChangedTimeKept) fs::last_write_time(Work("src.bin"), time);
  } else if (test_.then == Then::kJournalDamaged) {
    const fs::path journal = fs::directory_iterator(journals)->path();
    ASSERT_TRUE(WriteFile(journal, "x" + ReadFile(journal)->substr(1)));
  }

  std::vector<Step> steps;
  if (test_.answer != 0) {
    steps.push_back({"Slicery (question)",
                     "An earlier split of this file stopped after Disk #" +
                         std::string(recovery_ ? "5" : "2") +
                         ". Do you want to go on with " +
                         (recovery_ ? "recovery disk #1 of 1?" : "Disk #3?"),
                     std::string(1, test_.answer)});
  }
  if (test_.then == Then::kChangedTimeKept) {
    steps.push_back(
        {"Slicery (warning)",
         "The file has changed since the earlier split of it stopped.\nThe split "
         "starts again from Disk #1.",
         "o", "", "Checking the file ["});
  }
  if (test_.then == Then::kDisk1Offered)  // finished: refused and left as it is
    steps = steps + SplitDisks({"1"}) +
            std::vector<Step>{{"Error (warning)", kUsedHere, "o"}};
  for (const std::string disk : {"1", "2"}) {
    if (!goes_on)  // disks of the earlier set, offered for reuse
      steps = steps + SplitDisks({disk}) +
              std::vector<Step>{{"Slicery (question)", kReuse, "y"}};
  }
  steps = steps + (goes_on && recovery_ ? ToTheEnd("", 6) : ToTheEnd("", 3));
  if (goes_on)
    steps[1].console = recovery_ ? "] 85000 bytes as before" : "] 2000 bytes as before";
  if (test_.then == Then::kJournalDamaged)
    steps[0].console =
        "The journal of an earlier split of this file is damaged and was ignored.";
  session = Start(steps);
  ASSERT_TRUE(session && Ended(*session));

  // The set that went on is the uninterrupted one but for the set id; any
  // other is a new set.
  EXPECT_EQ(Id("1") == old_id, goes_on);
  for (const std::string disk : {"1", "2", "3", "4", "5", "r"}) {
    for (const auto& file : fs::directory_iterator(drive_.DiskPath("u" + disk))) {
      const std::string on = drive_.FileOn(disk, file.path().filename());
      EXPECT_TRUE(!goes_on || WithoutId(on, Id("1")) == WithoutId(file.path(), Id("u1")))
          << on;
    }
    EXPECT_TRUE(disk == "r" || Id(disk) == Id("1")) << disk;
    if (disk == "5" && !recovery_) break;
  }
  ASSERT_TRUE(Rebuild("src.bin", "rebuilt.bin", 5));
  EXPECT_TRUE(Holds(Work("rebuilt.bin"), bytes));
  EXPECT_TRUE(!fs::exists(journals) || fs::is_empty(journals));  // gone once complete
}

INSTANTIATE_TEST_SUITE_P(
    Table, ResumeTest,
    ::testing::Values(
        Resume{"AbortedAtDisk3"},
        Resume{"NotReadBack", Then::kNothing, 'y', {"--no-verify"}},
        Resume{"KilledWritingDisk3", Then::kNothing, 'y', {}, 1},
        Resume{"KilledReadingDisk3Back", Then::kNothing, 'y', {}, 2},
        Resume{"FileChangedTimeKept", Then::kChangedTimeKept},
        Resume{"FileGrown", Then::kGrown, 0},
        Resume{"NoToTheQuestion", Then::kNothing, 'n'},
        Resume{"FinishedDiskOffered", Then::kDisk1Offered},
        Resume{"StoppedAtTheRecoveryDisk", Then::kNothing, 'y', {"--recovery", "1"}},
        Resume{"JournalDamaged", Then::kJournalDamaged, 0},
        Resume{"NoResume", Then::kNothing, 0, {"--no-resume"}},
        Resume{"NoResumeVariable", Then::kNothing, 0, {}, 0, true},
        Resume{"StateFolderUnwritable", Then::kNothing, 0, {}, 0, false, true}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace slicery::e2e
