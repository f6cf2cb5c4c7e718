#include "split/chunk_copy.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "fakes/memory_env.h"

namespace slicery {
namespace {

// Records the size of the data file at every sync.
class SyncRecorder : public File {
 public:
  std::size_t Read(char*, std::size_t, bool* failed) override {
    *failed = true;
    return 0;
  }
  bool Write(const char* data, std::size_t size) override {
    bytes.append(data, size);
    return true;
  }
  bool Flush() override { return true; }
  bool Sync() override {
    syncs.push_back(bytes.size());
    return true;
  }
  bool Seek(std::uint64_t) override { return false; }
  bool Close() override { return true; }

  std::string bytes;
  std::vector<std::size_t> syncs;
};

std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 7 + i / 251);
  return s;
}

// What the byte-at-a-time copy does: the bytes it takes, whether it meets the
// end of the source, and a dot and a sync after every (budget / 25 + 1) bytes.
struct Expected {
  std::size_t bytes;
  bool at_end;
  std::vector<std::size_t> syncs;
};

Expected ByteLoop(std::size_t source_size, std::uint64_t budget) {
  Expected e{0, false, {}};
  const std::uint64_t step = budget / 25;
  std::uint64_t counter = 0;
  while (e.bytes < budget) {
    if (e.bytes == source_size) {
      e.at_end = true;
      break;
    }
    ++e.bytes;
    if (++counter > step) {
      counter = 0;
      e.syncs.push_back(e.bytes);
    }
  }
  return e;
}

struct CopyRun {
  ChunkCopy copy;
  bool at_end = false;
  SyncRecorder data;
  std::string console;
};

CopyRun CopyFrom(std::size_t size, std::uint64_t budget) {
  MemoryEnv env;
  env.SetFile("src", Pattern(size));
  std::unique_ptr<File> source = env.Open("src", FileMode::kReadBinary);
  CopyRun run;
  std::ostringstream console;
  ProgressMeter meter(console);
  run.copy = CopyChunk(*source, run.data, budget, meter, &run.at_end);
  run.console = console.str();
  return run;
}

TEST(CopyChunkTest, MatchesTheByteLoopWhereBlocksDotsAndBudgetMeet) {
  const std::uint64_t buffer = kSplitBufferSize;
  const std::uint64_t budgets[] = {0,
                                   1,
                                   24,
                                   25,
                                   26,
                                   599,
                                   600,
                                   1457064,
                                   buffer - 1,
                                   buffer,
                                   buffer + 1,
                                   25 * buffer,
                                   26 * buffer - 1,
                                   26 * buffer + 25};
  for (const std::uint64_t budget : budgets) {
    const std::uint64_t step = budget / 25;
    for (const std::uint64_t size :
         {budget - 1, budget, budget + 1, step, step + 1, step + 2, buffer - 1, buffer,
          buffer + 1, std::uint64_t{0}}) {
      if (size > 27 * buffer) continue;  // budget 0 minus one
      const CopyRun run = CopyFrom(size, budget);
      const Expected e = ByteLoop(size, budget);
      SCOPED_TRACE("budget " + std::to_string(budget) + " size " + std::to_string(size));
      EXPECT_EQ(run.copy.status, CopyStatus::kCopied);
      EXPECT_EQ(run.copy.bytes_written, e.bytes);
      EXPECT_EQ(run.data.bytes, Pattern(size).substr(0, e.bytes));
      EXPECT_EQ(run.at_end, e.at_end);
      EXPECT_EQ(run.data.syncs, e.syncs);
      EXPECT_EQ(run.console, std::string(e.syncs.size(), '.'));
    }
  }
}

TEST(CopyChunkTest, DotsForAFullBudget) {
  // 24 dots from a budget of 600 up, one per byte below 25, 12 at exactly 25.
  for (const auto& [budget, dots] : std::vector<std::pair<std::uint64_t, std::size_t>>{
           {600, 24}, {1457064, 24}, {24, 24}, {3, 3}, {25, 12}, {50, 16}}) {
    EXPECT_EQ(CopyFrom(budget + 5, budget).console, std::string(dots, '.')) << budget;
  }
}

TEST(CopyChunkTest, StopsOnAReadErrorWithoutTakingItForData) {
  SyncRecorder unreadable;  // every read fails
  SyncRecorder data;
  std::ostringstream console;
  ProgressMeter meter(console);
  bool at_end = false;
  const ChunkCopy copy = CopyChunk(unreadable, data, 1000, meter, &at_end);
  EXPECT_EQ(copy.status, CopyStatus::kReadFailed);
  EXPECT_EQ(data.bytes, "");
  EXPECT_FALSE(at_end);
}

}  // namespace
}  // namespace slicery
