#include "operation/block_copy.h"

#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "fakes/memory_env.h"

namespace slicery {
namespace {

// Records the size of the destination at every flush and every sync.
class DestinationRecorder : public File {
 public:
  std::size_t Read(char*, std::size_t, bool* failed) override {
    *failed = true;
    return 0;
  }
  bool Write(const char* data, std::size_t size) override {
    bytes.append(data, size);
    return true;
  }
  bool Flush() override {
    flushes.push_back(bytes.size());
    return true;
  }
  bool Sync() override {
    syncs.push_back(bytes.size());
    return true;
  }
  bool Seek(std::uint64_t) override { return false; }
  std::optional<std::uint64_t> Position() override { return bytes.size(); }
  bool Truncate(std::uint64_t) override { return false; }
  bool NoSpace() const override { return false; }
  bool Close() override { return true; }

  std::string bytes;
  std::vector<std::size_t> flushes;
  std::vector<std::size_t> syncs;
};

// A console that notes how many dots were on the screen at each flush.
class ConsoleRecorder : public std::stringbuf {
 public:
  std::vector<std::size_t> shown;

 protected:
  int sync() override {
    shown.push_back(static_cast<std::size_t>(pptr() - pbase()));
    return 0;
  }
};

std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 7 + i / 251);
  return s;
}

// What a copy made one byte at a time does: the bytes it takes, whether it
// meets the end of the source, and where it draws its dots.
struct Expected {
  std::size_t bytes = 0;
  bool at_end = false;
  std::vector<std::size_t> dots;  // destination size at each dot
};

// Onto a volume: stop at the budget; a dot (and a sync) once the counter of
// bytes since the last dot passes budget / 25.
Expected VolumeByteLoop(std::size_t source_size, std::uint64_t budget) {
  Expected e;
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
      e.dots.push_back(e.bytes);
    }
  }
  return e;
}

// Onto the rebuilt file: every byte; a dot (shown at once, and a flush) when
// the counter equals chunk length / 25, which a counter from 1 never does at 0.
Expected TargetByteLoop(std::size_t source_size, std::int32_t chunk_length) {
  Expected e;
  const std::int32_t step = chunk_length / 25;
  std::int32_t counter = 0;
  for (; e.bytes < source_size; ++e.bytes) {
    if (++counter == step) {
      e.dots.push_back(e.bytes + 1);
      counter = 0;
    }
  }
  e.at_end = true;
  return e;
}

struct CopyRun {
  CopyResult copy;
  DestinationRecorder destination;
  std::string console;
  std::vector<std::size_t> shown;
};

CopyRun Copy(std::size_t size, std::uint64_t limit, const DotRule& dots) {
  MemoryEnv env;
  env.SetFile("src", Pattern(size));
  std::unique_ptr<File> source = env.Open("src", FileMode::kReadBinary);
  CopyRun run;
  ConsoleRecorder console_buffer;
  std::ostream console(&console_buffer);
  ProgressMeter meter(console);
  run.copy = CopyBlocks(*source, run.destination, limit, dots, meter);
  run.console = console_buffer.str();
  run.shown = console_buffer.shown;
  return run;
}

void ExpectSameAsByteLoop(const CopyRun& run, const Expected& e, std::size_t size) {
  EXPECT_EQ(run.copy.status, CopyStatus::kCopied);
  EXPECT_EQ(run.copy.bytes, e.bytes);
  EXPECT_EQ(run.destination.bytes, Pattern(size).substr(0, e.bytes));
  EXPECT_EQ(run.copy.source_ended, e.at_end);
  EXPECT_EQ(run.console, std::string(e.dots.size(), '.'));
}

// The console's length at each flush when each of `count` dots is flushed
// right after it is drawn.
std::vector<std::size_t> DotsShown(std::size_t count) {
  std::vector<std::size_t> shown;
  for (std::size_t i = 1; i <= count; ++i) shown.push_back(i);
  return shown;
}

constexpr std::uint64_t kBuffer = kCopyBufferSize;

TEST(BlockCopyTest, OntoAVolumeMatchesTheByteLoopWhereBlocksDotsAndBudgetMeet) {
  for (const std::uint64_t budget :
       {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{24}, std::uint64_t{25},
        std::uint64_t{26}, std::uint64_t{599}, std::uint64_t{600}, std::uint64_t{1457064},
        kBuffer - 1, kBuffer, kBuffer + 1, 25 * kBuffer, 26 * kBuffer - 1,
        26 * kBuffer + 25}) {
    const std::uint64_t step = budget / 25;
    for (const std::uint64_t size :
         {budget - 1, budget, budget + 1, step, step + 1, step + 2, kBuffer - 1, kBuffer,
          kBuffer + 1, std::uint64_t{0}}) {
      if (size > 27 * kBuffer) continue;  // budget 0 minus one
      SCOPED_TRACE("budget " + std::to_string(budget) + " size " + std::to_string(size));
      const CopyRun run = Copy(size, budget, VolumeDots(budget));
      const Expected e = VolumeByteLoop(size, budget);
      ExpectSameAsByteLoop(run, e, size);
      // Each dot stands for bytes synced to the medium, and is shown once they
      // are there.
      EXPECT_EQ(run.destination.syncs, e.dots);
      EXPECT_EQ(run.shown, DotsShown(e.dots.size()));
    }
  }
}

TEST(BlockCopyTest, OntoTheRebuiltFileMatchesTheByteLoopAndShowsEachDotAtOnce) {
  for (const std::int32_t length : {-50, 0, 24, 25, 26, 624, 625, 1457064,
                                    static_cast<std::int32_t>(kBuffer) * 25 + 7}) {
    const std::uint64_t step = length > 0 ? length / 25 : 0;
    for (const std::uint64_t size :
         {std::uint64_t{0}, std::uint64_t{1}, step - 1, step, step + 1,
          std::uint64_t(length), kBuffer - 1, kBuffer, kBuffer + 1, 2 * kBuffer + 3}) {
      if (size > 30 * kBuffer) continue;  // a negative length as a size
      SCOPED_TRACE("length " + std::to_string(length) + " size " + std::to_string(size));
      const CopyRun run = Copy(size, kNoLimit, TargetDots(length));
      const Expected e = TargetByteLoop(size, length);
      ExpectSameAsByteLoop(run, e, size);
      EXPECT_EQ(run.destination.flushes, e.dots);
      // The console is flushed right after each dot, with that dot on it.
      EXPECT_EQ(run.shown, DotsShown(e.dots.size()));
    }
  }
}

TEST(BlockCopyTest, DotsForAFullBudget) {
  // 24 dots from a budget of 600 up, one per byte below 25, 12 at exactly 25.
  for (const auto& [budget, dots] : std::vector<std::pair<std::uint64_t, std::size_t>>{
           {600, 24}, {1457064, 24}, {24, 24}, {3, 3}, {25, 12}, {50, 16}}) {
    EXPECT_EQ(Copy(budget + 5, budget, VolumeDots(budget)).console,
              std::string(dots, '.'))
        << budget;
  }
}

TEST(BlockCopyTest, StopsOnAReadErrorWithoutTakingItForData) {
  DestinationRecorder unreadable;  // every read fails
  DestinationRecorder destination;
  std::ostringstream console;
  ProgressMeter meter(console);
  const CopyResult copy =
      CopyBlocks(unreadable, destination, 1000, VolumeDots(1000), meter);
  EXPECT_EQ(copy.status, CopyStatus::kReadFailed);
  EXPECT_EQ(destination.bytes, "");
  EXPECT_FALSE(copy.source_ended);
}

}  // namespace
}  // namespace slicery
