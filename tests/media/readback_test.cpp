// The split's read-back of every volume, on the suite's own faulty media
// through the real program: a medium that stores damaged bytes while its page
// cache holds the right ones, one that damages a single chosen byte of the
// chunk or record, and a medium lazily unmounted while the chunk is written.
// None may count as written; with the read-back turned off the damaged one is
// taken, which is what the read-back is there to catch.
//
// The damaging medium's page cache holds the chunk as written, so only a
// read-back from the medium itself sees the damage.
#include <cstdlib>
#include <filesystem>

#include "e2e/e2e_test.h"
#include "media/medium.h"
#include "media/passthrough.h"

namespace slicery::e2e {
namespace {

namespace fs = std::filesystem;

// 160 pages: two and a half blocks of the read-back's 256 KiB, so that a
// byte of any block, the last one short, can be damaged on its own.
constexpr std::size_t kChunkBytes = 160 * 4096;
constexpr std::size_t kSourceBytes = kChunkBytes + 150000;  // two volumes
const std::string kVerifiedLine = "] Checking [.........................] " +
                                  std::to_string(kChunkBytes) + " bytes written\n";
const std::string kPlainLine = "] " + std::to_string(kChunkBytes) + " bytes written\n";

struct ReadBackSetting {
  const char* name;
  std::vector<std::string> args;
  std::vector<std::pair<std::string, std::string>> env;
  bool verified;
};

void PrintTo(const ReadBackSetting& setting, std::ostream* out) { *out << setting.name; }

const ReadBackSetting kSettings[] = {
    {"ByDefault", {}, {}, true},
    {"NoVerifyOption", {"--no-verify"}, {}, false},
    {"NoVerifyVariable", {}, {{"SLICERY_NO_VERIFY", "1"}}, false},
};

std::string IndexOf(const std::string& record) {
  const std::size_t start = record.find("\r\n");
  if (start == std::string::npos) return "<none>";
  return record.substr(start + 2, record.find("\r\n", start + 2) - start - 2);
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos;
       at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// Disks "1" (a healthy pass-through medium, when made) and "2" (a folder)
// take the set; the faulty medium is offered first.
class ReadBackTest : public E2eTest {
 protected:
  // Each dot's sync goes through the FUSE server, on a machine shared with
  // other work.
  ReadBackTest() { setenv("SLICERY_E2E_TIMEOUT_MS", "30000", 0); }

  void SetUp() override {
    source_ = RandomBytes(kSourceBytes, 21);
    ASSERT_TRUE(WriteFile(Work("src.bin"), source_));
  }

  void TearDown() override {
    for (const std::unique_ptr<PassthroughMedium>& medium : media_) {
      medium->Release();
      EXPECT_EQ(medium->cleanup_error(), "");
    }
  }

  // Mounts a medium as disk `name`, its fault acting on `file` (at `offset`);
  // the reason when it cannot be had.
  std::string Mount(const std::string& name, PassthroughFault fault,
                    const std::string& file = kDataFile, std::uint64_t offset = 0) {
    if (std::string why = WhyNoPassthrough(); !why.empty()) return why;
    media_.push_back(std::make_unique<PassthroughMedium>(temp_.path() + "/media/" + name,
                                                         fault, file, offset));
    drive_.AddMedium(name, media_.back()->mount_point());
    return media_.back()->error();
  }

  // Volumes the size of one chunk and its reserve, and the setting's switch.
  std::unique_ptr<Session> Start(const ReadBackSetting& setting) {
    LaunchOptions options = Options();
    for (auto& [name, value] : options.env) {
      if (name == "SLICERY_VOLUME_SIZE") value = std::to_string(kChunkBytes + 600);
    }
    options.args = setting.args;
    options.env.insert(options.env.end(), setting.env.begin(), setting.env.end());
    return Launch(options);
  }

  // The split, read back, with disk "bad" offered first: it must be refused
  // after its check and left empty, and disks "1" and "2" take a set that
  // rebuilds the source.
  void ExpectBadRefusedAndSetOnTheOthers() {
    const std::unique_ptr<Session> session = Start(kSettings[0]);
    ASSERT_TRUE(session);
    ASSERT_TRUE(Play(
        *session,
        std::vector<Step>{{"Slicery", kMenu, "y\nsrc.bin"},
                          {"Insert Disk", kSplitInsert, "o", "bad"},
                          {"Error (warning)", kReadBack, "o", "", "Checking ["}} +
            SplitDisks({"1", "2"}) + std::vector<Step>{{"Slicery", kComplete, "n"}}));
    ASSERT_TRUE(Ended(*session));
    const std::string console = session->Stdout();
    EXPECT_EQ(Count(console, " bytes written\n"), 2u) << console;
    EXPECT_NE(console.find(kVerifiedLine), std::string::npos) << console;
    for (const std::string& file : {kInfoFile, kDataFile, kProbeFile}) {
      EXPECT_FALSE(fs::exists(drive_.FileOn("bad", file))) << file;
    }
    EXPECT_EQ(IndexOf(Record("1")), "0");
    EXPECT_EQ(IndexOf(Record("2")), "1");
    ASSERT_TRUE(Rebuild("src.bin", "rebuilt.bin", 2));
    EXPECT_TRUE(Holds(Work("rebuilt.bin"), source_));
  }

  std::string source_;
  std::vector<std::unique_ptr<PassthroughMedium>> media_;
};

class DamagingMediumTest : public ReadBackTest,
                           public ::testing::WithParamInterface<ReadBackSetting> {};

TEST_P(DamagingMediumTest, IsRefusedUnlessTheReadBackIsOff) {
  for (const auto& [name, fault] : {std::pair{"bad", PassthroughFault::kDamage},
                                    std::pair{"1", PassthroughFault::kNone}}) {
    if (const std::string why = Mount(name, fault); !why.empty()) {
      if (MediaRequired()) FAIL() << why;
      GTEST_SKIP() << why;
    }
  }
  if (GetParam().verified) return ExpectBadRefusedAndSetOnTheOthers();
  const std::unique_ptr<Session> session = Start(GetParam());
  ASSERT_TRUE(session);
  ASSERT_TRUE(Play(
      *session, std::vector<Step>{{"Slicery", kMenu, "y\nsrc.bin"},
                                  {"Insert Disk", kSplitInsert, "o", "bad"}} +
                    SplitDisks({"1"}) + std::vector<Step>{{"Slicery", kComplete, "n"}}));
  ASSERT_TRUE(Ended(*session));
  const std::string console = session->Stdout();
  // Taken as written: the console line without the read-back, and a medium
  // that holds the chunk damaged from byte 4096 on. (What the page cache still
  // holds of it is the kernel's to keep or drop, so it is not asserted here.)
  const std::optional<std::string> stored =
      ReadFile(media_[0]->backing() + "/" + kDataFile);
  ASSERT_TRUE(stored);
  EXPECT_EQ(FirstDifference(*stored, source_.substr(0, kChunkBytes)), 4096u);
  EXPECT_EQ(stored->size(), kChunkBytes);
  EXPECT_EQ(console.find("Checking"), std::string::npos) << console;
  EXPECT_NE(console.find(kPlainLine), std::string::npos) << console;
  EXPECT_EQ(IndexOf(Record("bad")), "0");
  EXPECT_EQ(IndexOf(Record("1")), "1");
}

INSTANTIATE_TEST_SUITE_P(ReadBack, DamagingMediumTest, ::testing::ValuesIn(kSettings),
                         [](const auto& info) { return std::string(info.param.name); });

// One byte of the chunk or of its record, stored damaged: wherever it lies,
// the volume is refused.
struct FlippedByte {
  const char* name;
  std::string file;
  std::uint64_t offset;
};

void PrintTo(const FlippedByte& flip, std::ostream* out) { *out << flip.name; }

// The record on the damaged disk: "src.bin", index 0, '+', the chunk length,
// then the id.
const std::size_t kIdOffset =
    ("src.bin\r\n0\r\n+\r\n" + std::to_string(kChunkBytes) + "\r\n").size();

const FlippedByte kFlippedBytes[] = {
    {"FirstOfTheChunk", kDataFile, 0},
    {"LastOfTheChunk", kDataFile, kChunkBytes - 1},
    {"LastOfA64KiBBlock", kDataFile, 64 * 1024 - 1},
    {"LastOfA256KiBBlock", kDataFile, 256 * 1024 - 1},
    {"PastTheFirst256KiB", kDataFile, 400000},
    {"OfTheRecordsPath", kInfoFile, 3},
    {"OfTheRecordsId", kInfoFile, kIdOffset},
};

class FlippedByteTest : public ReadBackTest,
                        public ::testing::WithParamInterface<FlippedByte> {};

TEST_P(FlippedByteTest, RefusesTheVolume) {
  const FlippedByte& flip = GetParam();
  for (const auto& [name, fault] : {std::pair{"bad", PassthroughFault::kFlipByte},
                                    std::pair{"1", PassthroughFault::kNone}}) {
    if (const std::string why = Mount(name, fault, flip.file, flip.offset);
        !why.empty()) {
      if (MediaRequired()) FAIL() << why;
      GTEST_SKIP() << why;
    }
  }
  ExpectBadRefusedAndSetOnTheOthers();
}

INSTANTIATE_TEST_SUITE_P(ReadBack, FlippedByteTest, ::testing::ValuesIn(kFlippedBytes),
                         [](const auto& info) { return std::string(info.param.name); });

// The drive's path leads to the bare mount-point folder once the medium has
// gone; the chunk went on to the detached medium. The volume must be refused,
// and nothing of it left in that folder of the root file system, even when
// the folder held a copy of the chunk beforehand: a file equal to the chunk
// is not the file written.
struct BareFolder {
  const char* name;
  bool holds_the_chunk;
};

void PrintTo(const BareFolder& folder, std::ostream* out) { *out << folder.name; }

class UnmountedMediumTest : public ReadBackTest,
                            public ::testing::WithParamInterface<BareFolder> {};

TEST_P(UnmountedMediumTest, DuringTheChunkIsRefusedAndLeavesNothingBehind) {
  if (GetParam().holds_the_chunk) {
    const std::string bare = temp_.path() + "/media/gone/mnt";
    ASSERT_TRUE(fs::create_directories(bare));
    ASSERT_TRUE(WriteFile(bare + "/" + kDataFile, source_.substr(0, kChunkBytes)));
  }
  if (const std::string why = Mount("gone", PassthroughFault::kDetach); !why.empty()) {
    if (MediaRequired()) FAIL() << why;
    GTEST_SKIP() << why;
  }
  const std::unique_ptr<Session> session = Start(kSettings[0]);
  ASSERT_TRUE(session);
  ASSERT_TRUE(Play(*session, {{"Slicery", kMenu, "y\nsrc.bin"},
                              {"Insert Disk", kSplitInsert, "o", "gone"}}));
  // The refusal, the unwritable-medium one or the read-back's own, and no
  // byte count before it.
  const std::optional<Dialog> refusal = session->NextDialog();
  ASSERT_TRUE(refusal && refusal->caption == "Error" && refusal->icon == "warning" &&
              (refusal->text == kReadBack || refusal->text == kUnwritable))
      << session->Transcript();
  EXPECT_EQ(refusal->console.find(" bytes written"), std::string::npos)
      << session->Transcript();
  EXPECT_FALSE(media_[0]->mounted()) << "the medium did not detach itself";
  ASSERT_TRUE(session->Answer('o'));
  ASSERT_TRUE(Play(
      *session, SplitDisks({"1", "2"}) + std::vector<Step>{{"Slicery", kComplete, "n"}}));
  ASSERT_TRUE(Ended(*session));

  media_[0]->Release();
  std::vector<std::string> left;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(media_[0]->mount_point())) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(left, std::vector<std::string>{}) << "left in the bare mount point";
  EXPECT_EQ(IndexOf(Record("1")), "0");
  EXPECT_EQ(IndexOf(Record("2")), "1");
  ASSERT_TRUE(Rebuild("src.bin", "rebuilt.bin", 2));
  EXPECT_TRUE(Holds(Work("rebuilt.bin"), source_));
}

INSTANTIATE_TEST_SUITE_P(ReadBack, UnmountedMediumTest,
                         ::testing::Values(BareFolder{"BareFolderEmpty", false},
                                           BareFolder{"BareFolderHoldsTheChunk", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace slicery::e2e
