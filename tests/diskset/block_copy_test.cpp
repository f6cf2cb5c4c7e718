#include "diskset/block_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "fakes/memory_env.h"

namespace slicery {
namespace {

std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 7 + i / 251);
  return s;
}

// Records the size of the destination at every flush and every sync of either kind.
// Offers in-kernel copies when `kernel_step` is set, each moving at most that many bytes;
// takes at most `capacity` bytes, by either way.
class DestinationRecorder : public File {
 public:
  std::size_t Read(char*, std::size_t, bool* failed) override {
    *failed = true;
    return 0;
  }
  bool Write(const char* data, std::size_t size) override {
    if (size > capacity - bytes.size()) return false;
    bytes.append(data, size);
    return true;
  }
  // As the kernel does: bytes up to a failed read are copied, and a failure
  // says nothing of which side failed.
  std::optional<std::size_t> CopyFrom(File& source, std::size_t size) {
    const std::size_t n = std::min({size, kernel_step, capacity - bytes.size()});
    if (n == 0) return std::nullopt;
    ++kernel_copies;
    std::string moved(n, '\0');
    bool failed = false;
    moved.resize(source.Read(moved.data(), n, &failed));
    bytes += moved;
    if (failed && moved.empty()) return std::nullopt;
    return moved.size();
  }
  bool Flush() override {
    flushes.push_back(bytes.size());
    return true;
  }
  bool Sync() override {
    syncs.push_back(bytes.size());
    return true;
  }
  bool SyncData() override {
    data_syncs.push_back(bytes.size());
    return true;
  }
  bool Seek(std::uint64_t) override { return false; }
  std::optional<std::uint64_t> Position() override { return bytes.size(); }
  bool Truncate(std::uint64_t) override { return false; }
  bool NoSpace() const override { return false; }
  bool Close() override { return true; }
  std::optional<int> Descriptor() override { return std::nullopt; }
  std::optional<FileIdentity> Identity() override { return std::nullopt; }

  std::string bytes;
  std::vector<std::size_t> flushes;
  std::vector<std::size_t> syncs;       // the whole file, metadata and all
  std::vector<std::size_t> data_syncs;  // the bytes written since the last one
  std::size_t kernel_step = 0;
  std::size_t capacity = std::numeric_limits<std::size_t>::max();
  int kernel_copies = 0;
};

// The pattern up to `good` bytes, then every read fails.
class SourceFailingAt : public File {
 public:
  explicit SourceFailingAt(std::size_t good) : good_(good) {}
  std::size_t Read(char* buffer, std::size_t size, bool* failed) override {
    const std::size_t n = std::min(size, good_ - pos_);
    const std::string bytes = Pattern(good_).substr(pos_, n);
    std::copy(bytes.begin(), bytes.end(), buffer);
    pos_ += n;
    *failed = n < size;
    return n;
  }
  bool Write(const char*, std::size_t) override { return false; }
  bool Flush() override { return true; }
  bool Sync() override { return true; }
  bool Seek(std::uint64_t) override { return false; }
  std::optional<std::uint64_t> Position() override { return pos_; }
  bool Truncate(std::uint64_t) override { return false; }
  bool NoSpace() const override { return false; }
  bool Close() override { return true; }
  std::optional<int> Descriptor() override { return std::nullopt; }
  std::optional<FileIdentity> Identity() override { return std::nullopt; }

 private:
  std::size_t good_, pos_ = 0;
};

// The kernel of these tests: a destination that is a recorder copies in its
// own way; any other pair is refused, as a host without such copies does.
KernelCopyResult RecorderKernel(File& from, File& to, std::size_t size,
                                KernelCopyWay* way) {
  auto* recorder = dynamic_cast<DestinationRecorder*>(&to);
  if (recorder == nullptr) {
    *way = KernelCopyWay::kRefused;
    return {};
  }
  return {recorder->CopyFrom(from, size)};
}

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
  std::string next;  // what the source reads next, after the copy
};

CopyRun Copy(std::size_t size, std::uint64_t limit, const DotRule& dots,
             std::size_t kernel_step = 0) {
  MemoryEnv env;
  env.SetFile("src", Pattern(size));
  std::unique_ptr<File> source = env.Open("src", FileMode::kReadBinary);
  CopyRun run;
  run.destination.kernel_step = kernel_step;
  ConsoleRecorder console_buffer;
  std::ostream console(&console_buffer);
  ProgressMeter meter(console);
  run.copy = CopyBlocks(*source, run.destination, limit, dots, meter, RecorderKernel);
  run.console = console_buffer.str();
  run.shown = console_buffer.shown;
  char next = 0;
  bool failed = false;
  run.next.assign(&next, source->Read(&next, 1, &failed));
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
      // are there; the file's metadata is left to the one sync at the end.
      EXPECT_EQ(run.destination.data_syncs, e.dots);
      EXPECT_TRUE(run.destination.syncs.empty());
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
      CopyBlocks(unreadable, destination, 1000, VolumeDots(1000), meter, RecorderKernel);
  EXPECT_EQ(copy.status, CopyStatus::kReadFailed);
  EXPECT_EQ(destination.bytes, "");
  EXPECT_FALSE(copy.source_ended);
}

// The same copies made inside the kernel, 4099 bytes or fewer a call: the dots,
// syncs and flushes, the end of the source and the source's position where the
// byte loop has them. A chunk that fills its budget exactly leaves the source's
// end unseen, however the bytes moved.
TEST(BlockCopyTest, InKernelCopiesKeepEveryDotAndEndOfTheByteLoop) {
  const std::size_t kStep = 4099;
  for (const std::uint64_t budget : {std::uint64_t{25}, std::uint64_t{600},
                                     std::uint64_t{1457064}, 26 * kBuffer + 25}) {
    const std::uint64_t step = budget / 25;
    for (const std::uint64_t size : {budget - 1, budget, budget + 1, step + 1}) {
      SCOPED_TRACE("budget " + std::to_string(budget) + " size " + std::to_string(size));
      const CopyRun run = Copy(size, budget, VolumeDots(budget), kStep);
      const Expected e = VolumeByteLoop(size, budget);
      ExpectSameAsByteLoop(run, e, size);
      EXPECT_EQ(run.destination.data_syncs, e.dots);
      EXPECT_EQ(run.next, Pattern(size).substr(e.bytes, 1));
      EXPECT_GE(run.destination.kernel_copies, 1);
    }
  }
  for (const std::int32_t length : {24, 625, 1457064}) {
    const std::uint64_t step = length / 25;
    for (const std::uint64_t size :
         {std::uint64_t{0}, step, step + 1, std::uint64_t(length), 2 * kBuffer + 3}) {
      SCOPED_TRACE("length " + std::to_string(length) + " size " + std::to_string(size));
      const CopyRun run = Copy(size, kNoLimit, TargetDots(length), kStep);
      const Expected e = TargetByteLoop(size, length);
      ExpectSameAsByteLoop(run, e, size);
      EXPECT_EQ(run.destination.flushes, e.dots);
      EXPECT_EQ(run.shown.size(), e.dots.size());
    }
  }
}

// An in-kernel copy that fails leaves the rest to the buffer, whose own read
// or write says which side failed; what reached the destination stays.
TEST(BlockCopyTest, AFailedInKernelCopyIsToldAsTheReadOrWriteFailureItWas) {
  std::ostringstream console;
  ProgressMeter meter(console);
  SourceFailingAt unreadable_from_5000(5000);
  DestinationRecorder destination;
  destination.kernel_step = 4099;
  CopyResult copy = CopyBlocks(unreadable_from_5000, destination, 20000,
                               VolumeDots(20000), meter, RecorderKernel);
  EXPECT_EQ(copy.status, CopyStatus::kReadFailed);
  EXPECT_EQ(destination.bytes, Pattern(5000));

  SourceFailingAt readable(30000);
  DestinationRecorder full_at_7000;
  full_at_7000.kernel_step = 4099;
  full_at_7000.capacity = 7000;
  copy =
      CopyBlocks(readable, full_at_7000, 20000, VolumeDots(20000), meter, RecorderKernel);
  EXPECT_EQ(copy.status, CopyStatus::kWriteFailed);
  EXPECT_EQ(full_at_7000.bytes, Pattern(7000));
  EXPECT_GT(destination.kernel_copies, 0);
  EXPECT_GT(full_at_7000.kernel_copies, 0);
}

}  // namespace
}  // namespace slicery
