#include "e2e/e2e_test.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace slicery::e2e {
namespace {

std::chrono::milliseconds WaitLimit() {
  const char* text = std::getenv("SLICERY_E2E_TIMEOUT_MS");
  return std::chrono::milliseconds(text != nullptr ? std::atoi(text) : 5000);
}

std::string Header(const Dialog& dialog) {
  return dialog.icon.empty() ? dialog.caption : dialog.caption + " (" + dialog.icon + ")";
}

}  // namespace

std::string Confirm(const std::string& recorded_path) {
  return "This operation contains a file entitled\n" + recorded_path +
         "\nWould you like to reconstitute the file at this location?";
}

std::string RequestDisk(int number) {
  return "Please insert Disk #" + std::to_string(number);
}

std::vector<Step> operator+(std::vector<Step> a, const std::vector<Step>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<Step> Requests(int from, int to) {
  std::vector<Step> steps;
  for (int n = from; n <= to; ++n) {
    steps.push_back({"Slicery", RequestDisk(n), "o", std::to_string(n)});
  }
  return steps;
}

std::string CaseName(std::string name) {
  for (char& ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
}

std::string NumberedSplitInsert(int number) {
  return "Please insert Disk #" + std::to_string(number) +
         " into drive.  (No data on disk will be overwritten.)";
}

std::vector<Step> SplitDisks(const std::vector<std::string>& disks, bool numbered) {
  std::vector<Step> steps;
  for (const std::string& disk : disks) {
    const int number = static_cast<int>(steps.size()) + 1;
    steps.push_back({"Insert Disk", numbered ? NumberedSplitInsert(number) : kSplitInsert,
                     "o", disk});
  }
  return steps;
}

::testing::AssertionResult Ended(Session& session) {
  const std::optional<ExitStatus> status = session.WaitExit();
  const bool clean = status && status->exited && status->code == 0;
  // The program writes nothing to standard error on any of these runs; a
  // sanitizer report would land there.
  if (clean && session.Stderr().empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "expected exit status 0 and nothing on standard error, got "
         << (!status          ? std::string("no exit")
             : status->exited ? "status " + std::to_string(status->code)
                              : "signal " + std::to_string(status->signal))
         << "\n"
         << session.Transcript();
}

::testing::AssertionResult Holds(const std::string& path, const std::string& expected) {
  const std::optional<std::string> actual = ReadFile(path);
  if (!actual) return ::testing::AssertionFailure() << path << " cannot be read";
  const std::size_t at = FirstDifference(*actual, expected);
  if (at == std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << path << " holds " << actual->size() << " bytes, expected " << expected.size()
         << "; first difference at offset " << at;
}

E2eTest::E2eTest()
    : drive_(temp_.path()),
      work_(temp_.path() + "/work"),
      state_(temp_.path() + "/state") {
  std::filesystem::create_directories(work_);
}

LaunchOptions E2eTest::Options(const std::string& dir) const {
  LaunchOptions options;
  options.program = SLICERY_BINARY;
  options.working_dir = dir.empty() ? work_ : dir;
  options.env = {{"SLICERY_VOLUME", drive_.path()}};
  if (simulate_volume_size_) {
    options.env.push_back({"SLICERY_VOLUME_SIZE", std::to_string(kVolumeSize)});
  }
  options.timeout = WaitLimit();
  return options;
}

std::unique_ptr<Session> E2eTest::Launch(const LaunchOptions& options) {
  // The journal of a split goes to the test's own state folder, never the
  // user's: whatever the options give, the program sees these first.
  LaunchOptions isolated = options;
  isolated.env.insert(isolated.env.begin(),
                      {{"XDG_STATE_HOME", state_}, {"HOME", temp_.path() + "/home"}});
  std::string error;
  std::unique_ptr<Session> session = Session::Start(isolated, &error);
  EXPECT_NE(session, nullptr) << error;
  return session;
}

std::unique_ptr<Session> E2eTest::Launch(const std::string& dir) {
  return Launch(Options(dir));
}

::testing::AssertionResult E2eTest::Play(Session& session,
                                         const std::vector<Step>& steps) {
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    const std::optional<Dialog> dialog = session.NextDialog();
    const bool match = dialog && Header(*dialog) == step.header &&
                       dialog->text == step.text &&
                       dialog->console.find(step.console) != std::string::npos;
    if (!match) {
      return ::testing::AssertionFailure()
             << "step " << i << ": expected [" << step.header << "] \"" << step.text
             << "\" after console text containing \"" << step.console << "\", got "
             << (dialog ? "[" + Header(*dialog) + "] \"" + dialog->text + "\""
                        : "nothing")
             << "\n"
             << session.Transcript();
    }
    if (step.before) step.before();
    std::string error;
    if (!step.disk.empty() && !drive_.Insert(step.disk, &error)) {
      return ::testing::AssertionFailure() << "step " << i << ": " << error;
    }
    if (!step.reply.empty() && !session.Type(step.reply)) {
      return ::testing::AssertionFailure() << "step " << i << ": reply not taken\n"
                                           << session.Transcript();
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult E2eTest::PlayToExit(const std::vector<Step>& steps,
                                               const std::string& dir,
                                               std::string* console) {
  std::unique_ptr<Session> session = Launch(dir);
  if (!session) return ::testing::AssertionFailure() << "not started";
  ::testing::AssertionResult played = Play(*session, steps);
  if (!played) return played;
  ::testing::AssertionResult ended = Ended(*session);
  if (console != nullptr) *console = session->Stdout();
  return ended;
}

::testing::AssertionResult E2eTest::Split(const std::string& source, int count,
                                          std::string* console) {
  std::vector<std::string> disks;
  for (int n = 1; n <= count; ++n) disks.push_back(std::to_string(n));
  return PlayToExit(std::vector<Step>{{"Slicery", kMenu, "y\n" + source}} +
                        SplitDisks(disks) +
                        std::vector<Step>{{"Slicery", kComplete, "n"}},
                    "", console);
}

::testing::AssertionResult E2eTest::Rebuild(const std::string& recorded,
                                            const std::string& target, int count) {
  return PlayToExit(
      std::vector<Step>{{"Slicery", kMenu, "n"},
                        {"Slicery", kIdentify, "o", "1"},
                        {"Slicery (question)", Confirm(recorded), "n\n" + target}} +
      Requests(1, count) + std::vector<Step>{{"Slicery", kComplete, "n"}});
}

std::string E2eTest::Record(const std::string& disk) const {
  return ReadFile(drive_.FileOn(disk, kInfoFile)).value_or("<no record>");
}

}  // namespace slicery::e2e
