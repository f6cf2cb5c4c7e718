// Whole runs: a file split across volumes and rebuilt, and the sets whose last
// volume is a special case.
#include <filesystem>

#include "e2e/e2e_test.h"

namespace slicery::e2e {
namespace {

std::string Dots(std::size_t count) { return std::string(count, '.'); }

// The split draws a dot after every (budget / 25 + 1) bytes, then one per
// 25th of the chunk read back.
std::string SplitLine(int length) {
  return "Writing to disk [" + Dots(length / (kChunk / 25 + 1)) + "] Checking [" +
         Dots(length > 0 ? 25 : 0) + "] " + std::to_string(length) + " bytes written\n";
}

// The rebuild draws a dot every (length / 25) bytes of a chunk.
std::string RebuildLine(int length) {
  const int step = length / 25;
  return "Reconstituting Data [" + Dots(step > 0 ? length / step : 0) + "] " +
         std::to_string(length) + " bytes reconstituted.\n";
}

std::string Id(const std::string& record) {
  return record.substr(record.rfind('\n') + 1);
}

std::string RecordBytes(const std::string& path, int index, char mark, int length,
                        const std::string& id) {
  return path + "\r\n" + std::to_string(index) + "\r\n" + mark + "\r\n" +
         std::to_string(length) + "\r\n" + id;
}

// Everything the split writes to the console for volumes of these lengths.
std::string SplitConsole(const std::string& source, const std::vector<int>& lengths) {
  std::string console = "\n== Slicery ==\n" + std::string(kMenu) +
                        "\n[Y]es / [N]o / [C]ancel: Please enter the filename to "
                        "slicery: \nSlicery Operation: Slicery\nFilename: " +
                        source + "\n";
  for (int length : lengths) {
    console += "\n== Insert Disk ==\n" + std::string(kSplitInsert) +
               "\n[O]K / [C]ancel: " + SplitLine(length);
  }
  return console + "\n== Slicery ==\n" + kComplete + "\n[Y]es / [N]o: ";
}

// A rebuild at the recorded path, identified from disk 3; then, from the
// menu, another at a typed location.
std::vector<Step> RebuildTwice(const std::string& source) {
  return std::vector<Step>{{"Slicery", kMenu, "n"},
                           {"Slicery", kIdentify, "o", "3"},
                           {"Slicery (question)", Confirm(source), "y"},
                           {"Slicery", RequestDisk(1), "o", "1",
                            "Slicery Operation: Reconstitute\nOriginal Filename: " +
                                source + "\nTarget Filename:   " + source + "\n"},
                           {"Slicery", RequestDisk(2), "o", "2", RebuildLine(kChunk)}} +
         Requests(3, 5) +
         std::vector<Step>{{"Slicery", kComplete, "y", "", RebuildLine(500)},
                           {"Slicery", kMenu, "n"},
                           {"Slicery", kIdentify, "o"},
                           {"Slicery (question)", Confirm(source), "n\nrebuilt.bin"},
                           {"Slicery", RequestDisk(1), "o", "1",
                            "Please enter desired location to reconstitute.\n"}} +
         Requests(2, 5) + std::vector<Step>{{"Slicery", kComplete, "n"}};
}

class CycleTest : public E2eTest {};

TEST_F(CycleTest, SplitsOntoFiveVolumesAndRebuildsAtRecordedAndTypedPaths) {
  const std::string source = Work("src.bin");
  const std::string bytes = RandomBytes(4 * kChunk + 500, 7);
  ASSERT_TRUE(WriteFile(source, bytes));
  std::string console;
  ASSERT_TRUE(Split(source, 5, &console));
  EXPECT_EQ(console, SplitConsole(source, {kChunk, kChunk, kChunk, kChunk, 500}));
  // Every volume: its chunk, an empty probe file and the record, CR LF ended
  // but for the id.
  const std::string id = Id(Record("1"));
  ASSERT_FALSE(id.empty());
  EXPECT_EQ(Record("2"), RecordBytes(source, 1, '+', kChunk, id));
  EXPECT_EQ(Record("5"), RecordBytes(source, 4, '*', 500, id));
  for (int n = 1; n <= 5; ++n) {
    const std::string disk = std::to_string(n);
    EXPECT_TRUE(
        Holds(drive_.FileOn(disk, kDataFile), bytes.substr((n - 1) * kChunk, kChunk)));
    EXPECT_TRUE(Holds(drive_.FileOn(disk, kProbeFile), ""));
    EXPECT_EQ(Id(Record(disk)), id);
  }
  std::filesystem::rename(source, Work("src.orig"));
  ASSERT_TRUE(PlayToExit(RebuildTwice(source)));
  EXPECT_TRUE(Holds(source, bytes));
  EXPECT_TRUE(Holds(Work("rebuilt.bin"), bytes));
}

struct SetShape {
  const char* name;
  int source_size;
  std::vector<std::pair<char, int>> volumes;  // mark and chunk length of each
};

void PrintTo(const SetShape& shape, std::ostream* out) { *out << shape.name; }

class SetShapeTest : public E2eTest, public ::testing::WithParamInterface<SetShape> {};

TEST_P(SetShapeTest, SplitsIntoTheExpectedVolumesAndRebuilds) {
  const SetShape& shape = GetParam();
  const std::string bytes = RandomBytes(shape.source_size, 11);
  ASSERT_TRUE(WriteFile(Work("src.bin"), bytes));
  const int count = static_cast<int>(shape.volumes.size());
  std::string console;
  ASSERT_TRUE(Split("src.bin", count, &console));
  const std::string id = Id(Record("1"));
  for (int n = 1; n <= count; ++n) {
    const auto [mark, length] = shape.volumes[n - 1];
    const std::string disk = std::to_string(n);
    EXPECT_EQ(Record(disk), RecordBytes("src.bin", n - 1, mark, length, id)) << disk;
    EXPECT_NE(console.find(SplitLine(length)), std::string::npos) << console;
    const std::size_t start = std::min<std::size_t>(bytes.size(), (n - 1) * kChunk);
    EXPECT_TRUE(Holds(drive_.FileOn(disk, kDataFile), bytes.substr(start, length)));
  }
  ASSERT_TRUE(Rebuild("src.bin", "rebuilt.bin", count));
  EXPECT_TRUE(Holds(Work("rebuilt.bin"), bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SetShapeTest,
    ::testing::Values(
        SetShape{"Empty", 0, {{'*', 0}}},
        SetShape{"ExactMultiple", 2 * kChunk, {{'+', kChunk}, {'+', kChunk}, {'*', 0}}},
        SetShape{"OneByteOver", kChunk + 1, {{'+', kChunk}, {'*', 1}}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace slicery::e2e
