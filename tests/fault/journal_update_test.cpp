// The journal of a split is replaced in one step: whichever call of an update
// fails, with or without a power cut then, a later run finds the journal of
// before or the new one, whole; once an update or a removal has succeeded, a
// power cut keeps it.
#include <gtest/gtest.h>

#include "fakes/faulty_env.h"
#include "fakes/memory_env.h"
#include "recovery/checksum.h"
#include "split/split_journal.h"

namespace slicery {
namespace {

constexpr char kSource[] = "/work/src.bin";

SplitProgress Progress(std::uint64_t disks) {
  SplitProgress progress{kSource, "src.bin", {1, 2, 9000, 3}, 77, 0, 4096, {}, false, 0};
  for (std::uint64_t i = 0; i < disks; ++i)
    progress.chunks.push_back({i * 1000, 1000, i});
  return progress;
}

// The journal a later run finds, as text; empty when there is none whole.
std::string Found(Env& env) {
  SplitProgress read;
  const bool whole =
      JournalFile::Of(env, kSource)->Read(&read) == JournalFile::Found::kRead;
  return whole ? FormatSplitProgress(read) : "";
}

TEST(JournalUpdateTest, LeavesTheJournalOfBeforeOrTheNewOneWhole) {
  const std::string before = FormatSplitProgress(Progress(2));
  const std::string after = FormatSplitProgress(Progress(3));
  for (int kind = 0; kind < kFaultKindCount; ++kind) {
    for (int nth = 0, calls = 0; nth <= calls; ++nth) {
      for (const bool power_cut : {false, true}) {
        SCOPED_TRACE(std::string(FaultKindName(FaultKind(kind))) + " #" +
                     std::to_string(nth) + (power_cut ? ", then a power cut" : ""));
        MemoryEnv memory;
        ASSERT_TRUE(JournalFile::Of(memory, kSource)->Write(Progress(2)));
        // An update that stopped half-way left its new file behind.
        memory.SetFile(std::string(MemoryEnv::kStateFolder) + "split-" +
                           HexOf(BlockChecksum(kSource)) + ".journal.new",
                       "x");
        FaultyEnv env(memory);
        env.FailNth(FaultKind(kind), nth);
        const bool written = JournalFile::Of(env, kSource)->Write(Progress(3));
        calls = env.calls(FaultKind(kind));
        if (power_cut) memory.ForgetUnsynced();
        EXPECT_TRUE(Found(memory) == before || Found(memory) == after);
        EXPECT_TRUE(written ? Found(memory) == after : nth != 0);
      }
    }
  }
  MemoryEnv memory;
  ASSERT_TRUE(JournalFile::Of(memory, kSource)->Write(Progress(2)));
  JournalFile::Of(memory, kSource)->Remove();
  memory.ForgetUnsynced();
  EXPECT_EQ(Found(memory), "");
}

}  // namespace
}  // namespace slicery
