// A file split again onto the disks of an older split of the same file: after
// it changed, or after a split stopped part-way. Those disks hold another set,
// so each is offered for reuse; only a disk of the running split is refused
// as already used.
#include <signal.h>

#include "e2e/e2e_test.h"

namespace slicery::e2e {
namespace {

struct Resplit {
  const char* name;
  int first_volumes;  // volumes the first split writes
  bool interrupted;   // then Ctrl-C at the request for the next one
  bool record_cut;    // and the last record cut after its mark, as a stop
                      // while it was written leaves it: no id
  int second_size;    // bytes of the file split the second time
};

void PrintTo(const Resplit& test, std::ostream* out) { *out << test.name; }

std::string Id(const std::string& record) {
  return record.substr(record.rfind('\n') + 1);
}

class ResplitTest : public E2eTest, public ::testing::WithParamInterface<Resplit> {
 protected:
  // The first split, completed or stopped by SIGINT at a disk request.
  void FirstSplit(const Resplit& test) {
    std::vector<std::string> disks;
    for (int n = 1; n <= test.first_volumes; ++n) disks.push_back(std::to_string(n));
    std::unique_ptr<Session> session = Launch();
    ASSERT_TRUE(session);
    ASSERT_TRUE(Play(*session, std::vector<Step>{{"Slicery", kMenu, "y\nsrc.bin"}} +
                                   SplitDisks(disks)));
    if (!test.interrupted) {
      ASSERT_TRUE(Play(*session, {{"Slicery", kComplete, "n"}}));
      ASSERT_TRUE(Ended(*session));
      return;
    }
    ASSERT_TRUE(Play(*session, {{"Insert Disk", kSplitInsert, ""}}));
    ASSERT_TRUE(session->Signal(SIGINT));
    const std::optional<ExitStatus> status = session->WaitExit();
    ASSERT_TRUE(status && !status->exited && status->signal == SIGINT)
        << session->Transcript();
    if (test.record_cut) {
      const std::string last = std::to_string(test.first_volumes);
      const std::string record = Record(last);
      const std::string cut = record.substr(0, record.find("\r\n", record.find('+')));
      ASSERT_TRUE(WriteFile(drive_.FileOn(last, kInfoFile), cut));
    }
  }
};

TEST_P(ResplitTest, DisksOfAnOlderSplitOfTheSameFileAreOfferedForReuse) {
  const Resplit& test = GetParam();
  ASSERT_TRUE(WriteFile(Work("src.bin"), RandomBytes(2 * kChunk + 300, 5)));
  FirstSplit(test);
  if (HasFatalFailure()) return;
  const std::string old_id = Id(Record("1"));
  const std::string bytes = RandomBytes(test.second_size, 6);
  ASSERT_TRUE(WriteFile(Work("src.bin"), bytes));
  const int volumes = (test.second_size + kChunk) / kChunk;

  // Each old disk: the reuse question, Yes. Disk 1 once more after it was
  // written: this split's own, refused.
  std::vector<Step> steps{{"Slicery", kMenu, "y\nsrc.bin"}};
  for (int n = 1; n <= volumes; ++n) {
    steps.push_back({"Insert Disk", kSplitInsert, "o", std::to_string(n)});
    if (n <= test.first_volumes) steps.push_back({"Slicery (question)", kReuse, "y"});
    if (n == 1) {
      steps.push_back({"Insert Disk", kSplitInsert, "o", "1"});
      steps.push_back({"Error (warning)", kUsedHere, "o"});
    }
  }
  steps.push_back({"Slicery", kComplete, "n"});
  ASSERT_TRUE(PlayToExit(steps));

  const std::string id = Id(Record("1"));
  EXPECT_NE(id, old_id);
  for (int n = 2; n <= volumes; ++n) EXPECT_EQ(Id(Record(std::to_string(n))), id) << n;
  ASSERT_TRUE(Rebuild("src.bin", "rebuilt.bin", volumes));
  EXPECT_TRUE(Holds(Work("rebuilt.bin"), bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResplitTest,
    ::testing::Values(Resplit{"FileChanged", 3, false, false, kChunk + 800},
                      Resplit{"StoppedAtADiskRequest", 2, true, false, 2 * kChunk + 300},
                      Resplit{"StoppedInARecord", 2, true, true, 2 * kChunk + 300}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace slicery::e2e
