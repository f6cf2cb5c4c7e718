#include "diskset/volume_writer.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/memory_env.h"

namespace slicery {
namespace {

std::string Bytes(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131) ^ (i >> 8));
  return s;
}

// Real media: a unit larger than the reserve, and file-system overhead that
// the free figure does not show.
struct Medium {
  std::uint64_t capacity;
  std::uint64_t unit;
  std::uint64_t hidden;  // taken by the file system as files grow
  std::int64_t chunk;    // the chunk it keeps; -1: refused and cleared
};

struct MediaCase {
  const char* name;
  std::size_t source_size;
  std::vector<Medium> media;
};

void PrintTo(const MediaCase& c, std::ostream* out) { *out << c.name; }

class VolumeWriterMediaTest : public ::testing::TestWithParam<MediaCase> {};

// The media are written in turn, a refused one followed by the next with the
// same chunk, until one takes the end of the source. Each is pulled as soon
// as it is written, so the chunk, the record and their names must be durable.
TEST_P(VolumeWriterMediaTest, EachMediumKeepsAChunkWithItsRecordBeside) {
  const MediaCase& c = GetParam();
  MemoryEnv env;
  const std::string source = Bytes(c.source_size);
  env.SetFile("src.bin", source);
  std::unique_ptr<File> file = env.Open("src.bin", FileMode::kReadBinary);
  ASSERT_NE(file, nullptr);
  SplitSource split{*file, 0, file->Identity()};
  VolumeFields fields{"src.bin", 0, 42};
  bool last = false;
  for (std::size_t i = 0; i < c.media.size(); ++i) {
    const Medium& m = c.media[i];
    const std::string disk = "d" + std::to_string(i);
    SCOPED_TRACE(disk);
    env.AddDisk(disk, m.capacity);
    env.disk(disk).unit = m.unit;
    env.disk(disk).hidden = m.hidden;
    env.InsertDisk(disk);
    ASSERT_FALSE(last);
    const std::optional<ChunkBudget> budget = QueryChunkBudget(env);
    ASSERT_TRUE(budget);
    std::ostringstream console;
    ProgressMeter meter(console);
    const std::uint64_t start = split.next_chunk;
    const VolumeWriteResult written =
        WriteVolume(env, split, *budget, fields, /*read_back=*/true, meter);
    env.ForgetUnsynced();  // pulled at once: what is written is on the medium
    if (m.chunk < 0) {
      EXPECT_EQ(written.status, VolumeWrite::kFailed);
      EXPECT_EQ(env.disk(disk).files.size(), 0u);
      EXPECT_EQ(split.next_chunk, start);
      continue;
    }
    const auto length = static_cast<std::size_t>(m.chunk);
    ASSERT_EQ(written.status, VolumeWrite::kWritten);
    EXPECT_EQ(written.kept, length);
    last = written.last;
    EXPECT_EQ(last, start + length == source.size());
    EXPECT_EQ(split.next_chunk, start + length);
    EXPECT_TRUE(env.DiskFile(disk, kDataFileName) == source.substr(start, length));
    const std::optional<DiskInfoRecord> record = DecodeDiskInfo(
        env.DiskFile(disk, kInfoFileName).value_or(""), RecordReading::kWholeRecord, {});
    ASSERT_TRUE(record);
    EXPECT_EQ(record->source_path, "src.bin");
    EXPECT_EQ(record->disk_index, fields.disk_index++);
    EXPECT_EQ(record->continuation_mark, last ? '*' : '+');
    EXPECT_EQ(record->chunk_length, m.chunk);
    EXPECT_EQ(record->operation_id, 42);
  }
  EXPECT_TRUE(last);
  EXPECT_EQ(split.next_chunk, source.size());
}

INSTANTIATE_TEST_SUITE_P(
    Media, VolumeWriterMediaTest,
    ::testing::Values(
        // 16 KiB in 4 KiB units: one unit kept free for the record.
        MediaCase{
            "UnitLargerThanTheReserve",
            30000,
            {{16384, 4096, 0, 12288}, {16384, 4096, 0, 12288}, {16384, 4096, 0, 5424}}},
        // Two units hidden: the chunk meets a full medium at 14 units and
        // keeps 13, so the record takes the 14th.
        MediaCase{"HiddenOverheadCutsTheChunk",
                  30000,
                  {{16384, 1024, 2048, 13312},
                   {16384, 1024, 2048, 13312},
                   {16384, 1024, 2048, 3376}}},
        // The chunk fits to the last unit; its record does not, until the chunk
        // gives one back.
        MediaCase{"RecordMeetsAFullMedium",
                  20000,
                  {{16384, 1024, 1024, 14336}, {16384, 1024, 1024, 5664}}},
        // The same with the source's end inside the chunk (15 units reached,
        // 13 kept): what the cut takes off is the end, so the volume is not
        // the last and the next one takes the tail.
        MediaCase{"LastChunkCutBackIsNotTheLast",
                  15000,
                  {{16384, 1024, 1024, 13312}, {16384, 1024, 1024, 1688}}},
        // Room for one unit only, which the record needs: refused and cleared.
        MediaCase{"NoUnitLeftForTheChunk",
                  1000,
                  {{2048, 1024, 1024, -1}, {16384, 1024, 0, 1000}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A medium that keeps the cache's bytes good but stores them damaged from 4 KiB
// on, and says "written": only the read-back sees it.
TEST(VolumeWriterTest, ReadBackRefusesAMediumThatStoresOtherBytes) {
  for (const bool read_back : {true, false}) {
    SCOPED_TRACE(read_back ? "read back" : "not read back");
    MemoryEnv env;
    const std::string source = Bytes(9000);
    env.SetFile("src.bin", source);
    std::unique_ptr<File> file = env.Open("src.bin", FileMode::kReadBinary);
    ASSERT_NE(file, nullptr);
    SplitSource split{*file, 0, file->Identity()};
    env.AddDisk("bad", 1457664);
    env.disk("bad").damages_from = 4096;
    env.InsertDisk("bad");
    std::ostringstream console;
    ProgressMeter meter(console);
    VolumeWriteResult written = WriteVolume(env, split, *QueryChunkBudget(env),
                                            {"src.bin", 0, 7}, read_back, meter);
    if (!read_back) {
      EXPECT_EQ(written.status, VolumeWrite::kWritten);
      EXPECT_EQ(console.str(), "Writing to disk [] ");
      continue;
    }
    EXPECT_EQ(written.status, VolumeWrite::kReadBackFailed);
    EXPECT_TRUE(env.disk("bad").files.empty());
    EXPECT_EQ(split.next_chunk, 0u);
    // The same chunk onto a good medium, with the read-back's progress.
    env.AddDisk("good", 1457664);
    env.InsertDisk("good");
    console.str("");
    written = WriteVolume(env, split, *QueryChunkBudget(env), {"src.bin", 0, 7},
                          read_back, meter);
    EXPECT_EQ(written.status, VolumeWrite::kWritten);
    EXPECT_TRUE(written.last);
    EXPECT_TRUE(env.DiskFile("good", kDataFileName) == source);
    EXPECT_EQ(console.str(),
              "Writing to disk [] Checking [" + std::string(25, '.') + "] ");
  }
}

// A source whose size or modification time changes during the split is not
// the disk's fault: the volume is cleared and the split ends.
TEST(VolumeWriterTest, ASourceThatChangedIsReportedAsSuch) {
  MemoryEnv env;
  env.SetFile("src.bin", Bytes(3000));
  std::unique_ptr<File> file = env.Open("src.bin", FileMode::kReadBinary);
  ASSERT_NE(file, nullptr);
  SplitSource split{*file, 0, file->Identity()};
  std::unique_ptr<File> writer = env.Open("src.bin", FileMode::kWriteBinary);
  ASSERT_TRUE(writer && writer->Write(Bytes(3000).data(), 3000));
  env.AddDisk("d", 1457664);
  env.InsertDisk("d");
  std::ostringstream console;
  ProgressMeter meter(console);
  const VolumeWriteResult written =
      WriteVolume(env, split, *QueryChunkBudget(env), {"src.bin", 0, 7}, true, meter);
  EXPECT_EQ(written.status, VolumeWrite::kSourceChanged);
  EXPECT_TRUE(env.disk("d").files.empty());
}

}  // namespace
}  // namespace slicery
