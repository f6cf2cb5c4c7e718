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

enum class Then { kNothing, kBytesChangedTimeKept, kFileGrown, kJournalDamaged, kDisk1 };

struct Resume {
  const char* name;
  Then then = Then::kNothing;  // between the runs; kDisk1: offered when going on
  char answer = 'y';           // to the question; 0: none is asked
  std::vector<std::string> args = {};
  int killed = 0;  // SIGKILL while Disk #3 was written: 1 its chunk, 2 read back
  bool no_resume_variable = false;  // SLICERY_NO_RESUME=1
};

void PrintTo(const Resume& test, std::ostream* out) { *out << test.name; }

const std::string kRecoveryRequest =
    "Please insert recovery disk #1 of 1 into drive.  (No data on disk will be "
    "overwritten.)";

// A file of a disk without the line of its set id, nor the checksum over it.
std::string WithoutId(const fs::path& path) {
  const std::string text = ReadFile(path).value_or("<none>"), name = path.filename();
  const int id_line = name == kInfoFile       ? 4
                      : name == "SLICERY.C2Z" ? 1
                      : name == "SLICERY.P2Z" ? 2
                                              : -1;
  if (id_line < 0) return text;
  std::string kept;
  for (std::size_t at = 0, end = 0, line = 0; at <= text.size(); at = end + 2, ++line) {
    end = std::min(text.find("\r\n", at), text.size());
    const bool checksum = name != kInfoFile && end == text.size();
    if (static_cast<int>(line) != id_line && !checksum)
      kept += text.substr(at, end - at) + "\n";
  }
  return kept;
}

class ResumeTest : public E2eTest, public ::testing::WithParamInterface<Resume> {
 protected:
  bool recovery() const { return GetParam().args.size() == 2; }
  std::vector<Step> Disks(const std::string& prefix, int from, int to) const {
    std::vector<Step> steps;
    for (int n = from; n <= to; ++n)
      steps = steps + SplitDisks({prefix + std::to_string(n)});
    return steps;
  }
  std::unique_ptr<Session> Start(const std::vector<Step>& steps) {
    LaunchOptions options = Options();
    options.args = GetParam().args;
    if (recovery()) options.env.back().second = "20000";
    if (GetParam().no_resume_variable) options.env.push_back({"SLICERY_NO_RESUME", "1"});
    std::unique_ptr<Session> session = Launch(options);
    if (!session) return session;
    const auto played =
        Play(*session, std::vector<Step>{{"Slicery", kMenu, "y\nsrc.bin"}} + steps);
    if (!played) {
      ADD_FAILURE() << played.message();
      session.reset();
    }
    return session;
  }
  ::testing::AssertionResult Run(const std::vector<Step>& steps) {
    std::unique_ptr<Session> session = Start(steps);
    return session ? Ended(*session) : ::testing::AssertionFailure() << "not played";
  }
  std::string Id(const std::string& disk) const {
    return Record(disk).substr(Record(disk).rfind('\n') + 1);
  }
};

TEST_P(ResumeTest, GoesOnFromTheNextDiskOrStartsAfresh) {
  const Resume& test = GetParam();
  const bool no_resume =
      test.no_resume_variable || test.args == std::vector<std::string>{"--no-resume"};
  const bool goes_on = test.answer == 'y' && test.then != Then::kBytesChangedTimeKept;
  const std::vector<Step> end = {{"Slicery", kComplete, "n"}};
  const std::vector<Step> to_recovery = {{"Insert Disk", kRecoveryRequest, "o", "1r"}};
  std::string bytes = RandomBytes(recovery() ? 85000 : 4500, 31);  // five data disks
  ASSERT_TRUE(WriteFile(Work("src.bin"), bytes));
  // The set that an uninterrupted split writes, on disks u1..u5 (and u1r).
  ASSERT_TRUE(
      Run(Disks("u", 1, 5) +
          (recovery() ? std::vector<Step>{{"Insert Disk", kRecoveryRequest, "o", "u1r"}}
                      : std::vector<Step>{}) +
          end));

  // The split stopped: aborted at the next request, or killed once part of
  // the chunk of Disk #3 was on it, or the whole and its record, which the
  // journal does not name yet.
  std::vector<Step> stop = Disks("", 1, recovery() ? 5 : 2);
  if (test.killed != 0) {
    const auto plant = [&] {
      fs::create_directories(drive_.DiskPath("3"));
      const std::string chunk = *ReadFile(drive_.FileOn("u3", kDataFile));
      const std::string record =
          Record("u3").substr(0, Record("u3").rfind('\n') + 1) + Id("1");
      EXPECT_TRUE(WriteFile(drive_.FileOn("3", kDataFile),
                            test.killed == 1 ? chunk.substr(0, 300) : chunk));
      EXPECT_TRUE(test.killed == 1 || WriteFile(drive_.FileOn("3", kInfoFile), record));
    };
    std::unique_ptr<Session> session = Start(
        stop + std::vector<Step>{{"Insert Disk", kSplitInsert, "", "3", "", plant}});
    ASSERT_TRUE(session && session->Signal(SIGKILL));
    const std::optional<ExitStatus> status = session->WaitExit();
    ASSERT_TRUE(status && status->signal == SIGKILL);
  } else {
    stop.push_back({"Insert Disk", recovery() ? kRecoveryRequest : kSplitInsert, "c"});
    stop.push_back({"Slicery (question)", kAbort, "y"});
    if (recovery()) {
      stop.push_back(
          {"Slicery (warning)",
           "The data disks of this set are complete, but it has fewer recovery "
           "disks than asked for: 0 of 1.",
           "o"});
    }
    stop.push_back({"Slicery (question)", kAnother, "n"});
    ASSERT_TRUE(Run(stop));
  }
  // The journal stays; --no-resume writes nothing to the state folder.
  const std::string journals = state_ + "/slicery", old_id = Id("1");
  ASSERT_EQ(fs::exists(journals) && !fs::is_empty(journals), !no_resume);
  EXPECT_EQ(fs::exists(state_), !no_resume);
  const fs::file_time_type time = fs::last_write_time(Work("src.bin"));
  if (test.then == Then::kBytesChangedTimeKept || test.then == Then::kFileGrown) {
    if (test.then == Then::kFileGrown) bytes += "more";
    bytes[10] ^= 1;
    ASSERT_TRUE(WriteFile(Work("src.bin"), bytes));
    if (test.then == Then::kBytesChangedTimeKept)
      fs::last_write_time(Work("src.bin"), time);
  } else if (test.then == Then::kJournalDamaged) {
    const fs::path journal = fs::directory_iterator(journals)->path();
    std::string text = *ReadFile(journal);
    text[30] ^= 1;
    ASSERT_TRUE(WriteFile(journal, text));
  }

  std::vector<Step> steps;
  if (test.answer != 0) {
    steps.push_back({"Slicery (question)",
                     recovery()
                         ? "An earlier split of this file stopped after Disk #5. Do "
                           "you want to go on with recovery disk #1 of 1?"
                         : "An earlier split of this file stopped after Disk #2. Do "
                           "you want to go on with Disk #3?",
                     std::string(1, test.answer)});
  }
  if (test.then == Then::kBytesChangedTimeKept) {
    steps.push_back(
        {"Slicery (warning)",
         "The file has changed since the earlier split of it stopped.\nThe split "
         "starts again from Disk #1.",
         "o", "", "Checking the file ["});
  }
  if (goes_on && test.then == Then::kDisk1) {
    steps = steps + SplitDisks({"1"}) +
            std::vector<Step>{{"Error (warning)", kUsedHere, "o"}};
  }
  if (!goes_on) {
    for (const std::string disk : {"1", "2"})
      steps = steps + SplitDisks({disk}) +
              std::vector<Step>{{"Slicery (question)", kReuse, "y"}};
  }
  steps = steps + (recovery() ? to_recovery : Disks("", 3, 5)) + end;
  if (goes_on)
    steps[1].console = recovery() ? "] 85000 bytes as before" : "] 2000 bytes as before";
  if (test.then == Then::kJournalDamaged)
    steps[0].console =
        "The journal of an earlier split of this file is damaged and was ignored.";
  ASSERT_TRUE(Run(steps));

  // Every disk holds what the uninterrupted split's does but for the set id,
  // or else the disks are of a new set.
  EXPECT_EQ(Id("1") == old_id, goes_on);
  for (const std::string disk : {"1", "2", "3", "4", "5", "1r"}) {
    if (disk == "1r" && !recovery()) break;
    for (const auto& file : fs::directory_iterator(drive_.DiskPath("u" + disk))) {
      const std::string on = drive_.FileOn(disk, file.path().filename());
      EXPECT_TRUE(!goes_on || WithoutId(on) == WithoutId(file.path())) << on;
    }
    EXPECT_TRUE(disk == "1r" || Id(disk) == Id("1")) << disk;
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
        Resume{"FileChangedTimeKept", Then::kBytesChangedTimeKept},
        Resume{"FileGrown", Then::kFileGrown, 0},
        Resume{"NoToTheQuestion", Then::kNothing, 'n'},
        Resume{"FinishedDiskOffered", Then::kDisk1},
        Resume{"StoppedAtTheRecoveryDisk", Then::kNothing, 'y', {"--recovery", "1"}},
        Resume{"JournalDamaged", Then::kJournalDamaged, 0},
        Resume{"NoResume", Then::kNothing, 0, {"--no-resume"}},
        Resume{"NoResumeVariable", Then::kNothing, 0, {}, 0, true}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace slicery::e2e
