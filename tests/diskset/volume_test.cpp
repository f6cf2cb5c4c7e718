#include "diskset/volume.h"

#include <gtest/gtest.h>

#include "fakes/faulty_env.h"
#include "fakes/memory_env.h"
#include "platform/host_constants.h"

namespace slicery {
namespace {

class VolumeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.AddDisk("d", 10000);
    env_.InsertDisk("d");
  }
  MemoryEnv env_;
};

TEST_F(VolumeTest, RecordWrittenIsReadBackByEveryReader) {
  ASSERT_EQ(WriteDiskInfo(env_, {"src.bin", 3, '+', 1234, 77}), WriteResult::kWritten);
  const std::optional<std::string> info = env_.DiskFile("d", kInfoFileName);
  ASSERT_TRUE(info);
  EXPECT_EQ(*info, std::string("src.bin") + kRecordLineEnd + "3" + kRecordLineEnd + "+" +
                       kRecordLineEnd + "1234" + kRecordLineEnd + "77");

  const std::optional<DiskInfoRecord> place = ReadDiskInfo(env_, {"kept", 0, '?', 0, 0});
  ASSERT_TRUE(place);
  EXPECT_EQ(place->source_path, "kept");
  EXPECT_EQ(place->disk_index, 3);
  EXPECT_EQ(place->continuation_mark, '+');
  EXPECT_EQ(place->chunk_length, 1234);
  EXPECT_EQ(place->operation_id, 77);
  const std::optional<DiskInfoRecord> identity = ReadSetIdentity(env_, {});
  ASSERT_TRUE(identity);
  EXPECT_EQ(identity->source_path, "src.bin");
  EXPECT_EQ(identity->operation_id, 77);
  const RecordedPath recorded = ReadRecordedPath(env_);
  EXPECT_EQ(recorded.status, RecordedPath::kRead);
  EXPECT_EQ(recorded.first_line, "src.bin");
  EXPECT_EQ(recorded.operation_id, 77);
}

// A record cut short, as a split stopped while writing it leaves it, still
// names its path, but no set id.
TEST_F(VolumeTest, ARecordCutBeforeItsIdHasAPathButNoId) {
  for (const char* cut :
       {"src.bin\r\n1\r\n+\r\n1000\r\n", "src.bin\r\n1\r\n+", "src.bin"}) {
    SCOPED_TRACE(cut);
    env_.SetFile(InfoFilePath(env_), cut);
    const RecordedPath recorded = ReadRecordedPath(env_);
    EXPECT_EQ(recorded.status, RecordedPath::kRead);
    EXPECT_EQ(recorded.first_line, "src.bin");
    EXPECT_EQ(recorded.operation_id, std::nullopt);
  }
}

TEST_F(VolumeTest, AVolumeWithoutARecordHasNoSet) {
  EXPECT_FALSE(ReadDiskInfo(env_, {}));
  EXPECT_FALSE(ReadSetIdentity(env_, {}));
  EXPECT_EQ(ReadRecordedPath(env_).status, RecordedPath::kNone);
  env_.SetFile(std::string(MemoryEnv::kRoot) + kInfoFileName, "");
  EXPECT_EQ(ReadRecordedPath(env_).status, RecordedPath::kRead);
  EXPECT_EQ(ReadRecordedPath(env_).first_line, "");
}

TEST_F(VolumeTest, ARecordThatWillNotOpenOrReadIsNeverABlankVolume) {
  ASSERT_EQ(WriteDiskInfo(env_, {"src.bin", 0, '*', 0, 1}), WriteResult::kWritten);
  for (const FaultKind kind : {FaultKind::kOpen, FaultKind::kRead}) {
    FaultyEnv faulty(env_);
    faulty.FailNth(kind, 1);
    EXPECT_EQ(ReadRecordedPath(faulty).status, RecordedPath::kUnreadable);
  }
}

TEST_F(VolumeTest, ProbeLeavesAnEmptyFileAndClearRemovesAllThree) {
  ASSERT_TRUE(ProbeVolume(env_));
  EXPECT_EQ(env_.DiskFile("d", kProbeFileName), "");
  env_.SetFile(InfoFilePath(env_), "x");
  env_.SetFile(DataFilePath(env_), "y");
  env_.SetFile("A:/OTHER.TXT", "z");
  ClearDiskSet(env_);
  EXPECT_EQ(env_.DiskFile("d", kInfoFileName), std::nullopt);
  EXPECT_EQ(env_.DiskFile("d", kDataFileName), std::nullopt);
  EXPECT_EQ(env_.DiskFile("d", kProbeFileName), std::nullopt);
  EXPECT_EQ(env_.DiskFile("d", "OTHER.TXT"), "z");
  // The record goes first: a volume pulled half-cleared never holds a record
  // whose chunk is gone.
  EXPECT_EQ(env_.removed(),
            (std::vector<std::string>{InfoFilePath(env_), DataFilePath(env_),
                                      ProbeFilePath(env_)}));
}

// The reserve is 600 bytes or one allocation unit, whichever is larger, so the
// record always finds room; a simulated size counts bytes with a reserve of
// 600, and the smaller budget of the two holds.
TEST_F(VolumeTest, BudgetKeepsTheReserveAndFitsARecord) {
  struct Case {
    std::uint64_t capacity;
    std::uint64_t unit;
    std::optional<std::uint64_t> simulated_free;
    std::optional<std::uint64_t> budget;
  };
  constexpr std::uint64_t kHuge = 1ull << 40;
  const Case cases[] = {
      {599, 1, {}, std::nullopt},
      {600, 1, {}, 0},
      {601, 1, {}, 1},
      {1457664, 512, {}, 1457064},  // a 1.44 MB floppy: as ever
      {737280, 1024, {}, 736256},   // a 720 KB floppy: one cluster kept
      {4095, 4096, {}, std::nullopt},
      {4096, 4096, {}, 0},
      {16 << 20, 128 << 10, {}, (16 << 20) - (128 << 10)},
      {2147484247ull, 1, {}, 2147483647ull},
      {3ull << 30, 4096, {}, 2147483647ull},
      {~0ull, 4096, {}, 2147483647ull},
      {kHuge, 4096, 1600, 1000},  // a simulated volume on a large disk
      {kHuge, 4096, 599, std::nullopt},
      {5000, 4096, 100000, 904},  // the real medium is the smaller
      {4000, 4096, 100000, std::nullopt},
  };
  for (const Case& c : cases) {
    env_.AddDisk("d", c.capacity);
    env_.disk("d").unit = c.unit;
    env_.disk("d").simulated_free = c.simulated_free;
    const std::optional<ChunkBudget> budget = QueryChunkBudget(env_);
    EXPECT_EQ(budget.has_value(), c.budget.has_value()) << c.capacity;
    if (budget && c.budget) {
      const std::uint64_t room_unit = c.simulated_free ? 1 : c.unit;
      EXPECT_EQ(*budget, (ChunkBudget{*c.budget, c.unit, room_unit})) << c.capacity;
    }
  }
  env_.InsertDisk("");
  EXPECT_EQ(QueryChunkBudget(env_), std::nullopt);
  EXPECT_FALSE(ProbeVolume(env_));
}

}  // namespace
}  // namespace slicery
