// The split and the rebuild on the kernel's own floppy driver and FAT, in a
// QEMU machine: three FAT12 floppies, a FAT32 stick, and a floppy pulled
// (the machine stopped dead) at the prompt and in the middle of its chunk.
// What the guest reports is checked again on the host, from the images.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>

#include "e2e/files.h"
#include "media/floppy/fat_image.h"
#include "media/floppy/guest_facts.h"
#include "media/floppy/machine.h"

namespace slicery::floppy {
namespace {

constexpr char kSourcePath[] = "/data/src.bin";
constexpr std::uint64_t kSector = 512;
constexpr std::uint64_t kStickCluster = 4096;
// One update of a floppy's FAT12 metadata: two FATs of 9 sectors and a
// directory sector.
constexpr std::uint64_t kFloppyMetadataSectors = 19;

std::uint64_t Sectors(std::uint64_t bytes) { return (bytes + kSector - 1) / kSector; }

// The chunk lengths of the console's "N bytes written" lines, in order.
std::vector<std::uint64_t> ChunkLengths(const std::string& console) {
  static const std::regex kWritten(R"(\] ([0-9]+) bytes written)");
  std::vector<std::uint64_t> lengths;
  for (std::sregex_iterator it(console.begin(), console.end(), kWritten), end; it != end;
       ++it) {
    lengths.push_back(std::stoull((*it)[1]));
  }
  return lengths;
}

// One "volume" report: what writing (or reading) a disk cost its drive.
struct Traffic {
  std::string phase, image;
  std::uint64_t free = 0, written_sectors = 0, writes = 0, read_sectors = 0, reads = 0;
};

std::vector<Traffic> VolumeReports(const std::string& console) {
  static const std::regex kVolume(
      R"((\w+) (\w+) free=(\d+) written_sectors=(\d+) writes=(\d+) read_sectors=(\d+) reads=(\d+))");
  std::vector<Traffic> reports;
  for (const std::string& line : Reports(console, "volume")) {
    std::smatch m;
    if (!std::regex_match(line, m, kVolume)) continue;
    reports.push_back({m[1], m[2], std::stoull(m[3]), std::stoull(m[4]),
                       std::stoull(m[5]), std::stoull(m[6]), std::stoull(m[7])});
  }
  return reports;
}

std::string RecordOf(std::uint64_t index, char mark, std::uint64_t length) {
  return std::string(kSourcePath) + "\r\n" + std::to_string(index) + "\r\n" + mark +
         "\r\n" + std::to_string(length) + "\r\n";
}

class FloppyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = WhyNoMachine(); !why.empty()) {
      if (MachineRequired()) FAIL() << why;
      GTEST_SKIP() << why;
    }
    ASSERT_FALSE(temp_.path().empty());
  }

  std::string Floppy(const std::string& name) {
    const std::string path = temp_.path() + "/" + name + ".img";
    std::string error;
    EXPECT_TRUE(MakeFloppyImage(path, &error)) << error;
    return path;
  }

  // Runs a guest case; the console, once the machine ended the way `ending`
  // says ("end 0": the driver finished; "stop": it stopped the machine dead).
  std::string Run(const std::string& guest_case, const std::vector<Drive>& drives,
                  const std::string& ending,
                  const std::map<std::string, std::string>& changes = {}) {
    const MachineRun run = RunMachine(guest_case, drives, changes, temp_.path());
    // What the guest reported, for the log.
    for (std::size_t at = run.console.find("@@"); at != std::string::npos;
         at = run.console.find("@@", at + 2)) {
      std::printf(
          "guest: %s\n",
          run.console.substr(at, run.console.find_first_of("\r\n", at) - at).c_str());
    }
    EXPECT_EQ(run.error, "") << run.console;
    EXPECT_EQ(Reports(run.console, "fail"), std::vector<std::string>{}) << run.console;
    const std::string tag = ending.substr(0, ending.find(' '));
    const std::string rest =
        ending.size() > tag.size() ? ending.substr(tag.size() + 1) : "";
    EXPECT_EQ(Reports(run.console, tag), std::vector<std::string>{rest}) << run.console;
    return run.console;
  }

  // The chunk and the record that `image` holds, as another computer reads them.
  void ExpectVolume(const std::string& image, const std::string& source,
                    std::uint64_t offset, std::uint64_t length, std::uint64_t index,
                    char mark) {
    std::string error;
    const std::optional<std::string> chunk = ReadFromImage(image, "SLICERY.A2Z", &error);
    ASSERT_TRUE(chunk) << error;
    EXPECT_EQ(chunk->size(), length) << image;
    EXPECT_TRUE(*chunk == source.substr(offset, length))
        << image << ": differs at "
        << e2e::FirstDifference(*chunk, source.substr(offset, length));
    const std::optional<std::string> record = ReadFromImage(image, "SLICERY.Q2Z", &error);
    ASSERT_TRUE(record) << error;
    EXPECT_EQ(record->substr(0, record->rfind("\r\n") + 2),
              RecordOf(index, mark, length));
    EXPECT_TRUE(
        std::regex_match(record->substr(record->rfind("\r\n") + 2), std::regex("[0-9]+")))
        << *record;
  }

  e2e::TempDir temp_;
};

TEST_F(FloppyTest, SplitsOntoThreeFloppiesAndRebuildsTheFile) {
  const std::string a1 = Floppy("A1"), a2 = Floppy("A2"), a3 = Floppy("A3");
  const std::string console = Run("split3", {{"floppy", 0, a1}, {"floppy", 1, a2}},
                                  "end 0", {{"A1", a1}, {"A3", a3}});
  EXPECT_EQ(Reports(console, "rebuilt"), std::vector<std::string>{"identical"});
  const std::uint64_t last = kThreeFloppySource - 2 * kFullChunk;
  ASSERT_EQ(ChunkLengths(console),
            (std::vector<std::uint64_t>{kFullChunk, kFullChunk, last}));

  const std::string source = e2e::RandomBytes(kThreeFloppySource, kSourceSeed);
  ExpectVolume(a1, source, 0, kFullChunk, 0, '+');
  ExpectVolume(a2, source, kFullChunk, kFullChunk, 1, '+');
  ExpectVolume(a3, source, 2 * kFullChunk, last, 2, '*');
  for (const std::string& full : {a1, a2}) {
    std::string error;
    EXPECT_EQ(FreeBytesOfImage(full, &error), std::uint64_t{0}) << full << error;
  }

  // What each full floppy cost its drive: the chunk and the record written
  // once with one update of the metadata, and the chunk read back once.
  const std::uint64_t needed = Sectors(kFullChunk) + 1 + kFloppyMetadataSectors;
  for (const Traffic& volume : VolumeReports(console)) {
    std::printf(
        "floppy %s %s: free %llu bytes; %llu sectors written in %llu requests, "
        "%llu sectors read in %llu requests\n",
        volume.phase.c_str(), volume.image.c_str(),
        static_cast<unsigned long long>(volume.free),
        static_cast<unsigned long long>(volume.written_sectors),
        static_cast<unsigned long long>(volume.writes),
        static_cast<unsigned long long>(volume.read_sectors),
        static_cast<unsigned long long>(volume.reads));
    if (volume.phase != "split" || volume.image == "A3") continue;
    EXPECT_EQ(volume.free, 0u) << volume.image;
    EXPECT_LE(volume.written_sectors * 100, needed * 101) << volume.image;
    EXPECT_GE(volume.read_sectors, Sectors(kFullChunk)) << volume.image;
    EXPECT_LE(volume.read_sectors, Sectors(kFullChunk) + 1 + kFloppyMetadataSectors)
        << volume.image;
  }
}

TEST_F(FloppyTest, FillsAFat32StickToAClusterBoundary) {
  const std::string stick = temp_.path() + "/STICK.img";
  std::string error;
  ASSERT_TRUE(MakeStickImage(stick, &error)) << error;
  const std::string console = Run("stick", {{"virtio", 0, stick}}, "end 0");
  const std::vector<std::string> free = Reports(console, "stick-free");
  ASSERT_EQ(free.size(), 1u) << console;
  const std::uint64_t free_bytes = std::stoull(free[0]);
  ASSERT_EQ(ChunkLengths(console).size(), 1u) << console;
  const std::uint64_t chunk = ChunkLengths(console)[0];
  // One cluster is left for the record, and the chunk ends on a cluster.
  EXPECT_EQ(chunk, free_bytes - kStickCluster);
  EXPECT_EQ(chunk % kStickCluster, 0u);
  ExpectVolume(stick, e2e::RandomBytes(chunk, kSourceSeed), 0, chunk, 0, '+');
  const std::vector<Traffic> volumes = VolumeReports(console);
  ASSERT_EQ(volumes.size(), 1u) << console;
  EXPECT_EQ(volumes[0].free, 0u);
  EXPECT_EQ(FreeBytesOfImage(stick, &error), std::uint64_t{0}) << error;
  std::printf("stick: %llu bytes free, chunk %llu bytes, %llu free after\n",
              static_cast<unsigned long long>(free_bytes),
              static_cast<unsigned long long>(chunk),
              static_cast<unsigned long long>(volumes[0].free));
}

// The machine stopped dead at the next disk's request, as a floppy pulled
// then: the disk holds its chunk and its record whole.
TEST_F(FloppyTest, DiskPulledAtThePromptHoldsItsChunkAndRecord) {
  const std::string a1 = Floppy("A1");
  const std::string console = Run("pull-at-prompt", {{"floppy", 0, a1}}, "stop");
  ASSERT_EQ(ChunkLengths(console), std::vector<std::uint64_t>{kFullChunk}) << console;
  ExpectVolume(a1, e2e::RandomBytes(kFullChunk, kSourceSeed), 0, kFullChunk, 0, '+');
}

// The machine stopped dead after a dot: every byte the dots stood for is on
// the floppy, found in its raw data area (no directory entry need point to
// it yet; a blank floppy's clusters are handed out in order).
TEST_F(FloppyTest, DiskPulledMidChunkHoldsEveryDottedByte) {
  const std::string a1 = Floppy("A1");
  Run("pull-mid-chunk", {{"floppy", 0, a1}}, "stop");
  const std::uint64_t dotted = kDotsBeforePull * (kFullChunk / 25 + 1);
  const std::string source = e2e::RandomBytes(dotted, kSourceSeed);
  const std::optional<std::string> raw = e2e::ReadFile(a1);
  ASSERT_TRUE(raw);
  const std::size_t start = raw->find(source.substr(0, kSector));
  ASSERT_NE(start, std::string::npos) << "the chunk's first sector is not on the floppy";
  const std::string stored = raw->substr(start, dotted);
  EXPECT_TRUE(stored == source)
      << "the floppy holds " << e2e::FirstDifference(stored, source) << " of the "
      << dotted << " bytes the dots stood for";
}

}  // namespace
}  // namespace slicery::floppy
