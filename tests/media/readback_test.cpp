// The split's read-back of every volume, on the suite's own faulty media
// through the real program: a medium that stores damaged bytes while its page
// cache holds the right ones, and a medium lazily unmounted while the chunk is
// written. Neither may count as written; with the read-back turned off the
// damaged one is taken, which is what the read-back is there to catch.
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

constexpr std::size_t kChunkBytes = 300000;
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

  // Mounts a medium as disk `name`; the reason when it cannot be had.
  std::string Mount(const std::string& name, PassthroughFault fault) {
    if (std::string why = WhyNoPassthrough(); !why.empty()) return why;
    media_.push_back(std::make_unique<PassthroughMedium>(temp_.path() + "/media/" + name,
                                                         fault, kDataFile));
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
  const bool verified = GetParam().verified;
  std::vector<Step> steps = {{"Slicery", kMenu, "y\nsrc.bin"},
                             {"Insert Disk", kSplitInsert, "o", "bad"}};
  if (verified) {
    steps = steps + std::vector<Step>{
                        {"Error (warning)", kReadBack, "o", "", "Checking ["}};
  }
  steps = steps +
          SplitDisks(verified ? std::vector<std::string>{"1", "2"}
                              : std::vector<std::string>{"1"}) +
          std::vector<Step>{{"Slicery", kComplete, "n"}};
  const std::unique_ptr<Session> session = Start(GetParam());
  ASSERT_TRUE(session);
  ASSERT_TRUE(Play(*session, steps));
  ASSERT_TRUE(Ended(*session));
  const std::string console = session->Stdout();

  if (verified) {
    EXPECT_EQ(Count(console, " bytes written\n"), 2u) << console;
    EXPECT_NE(console.find(kVerifiedLine), std::string::npos) << console;
    for (const std::string& file : {kInfoFile, kDataFile, kProbeFile}) {
      EXPECT_FALSE(fs::exists(drive_.FileOn("bad", file))) << file;
    }
    EXPECT_EQ(IndexOf(Record("1")), "0");
    EXPECT_EQ(IndexOf(Record("2")), "1");
    ASSERT_TRUE(Rebuild("src.bin", "rebuilt.bin", 2));
    EXPECT_TRUE(Holds(Work("rebuilt.bin"), source_));
    return;
  }
  // Taken as written: the console line without the read-back, and a chunk
  // that reads right from the cache while the medium holds it damaged from
  // byte 4096 on.
  EXPECT_TRUE(Holds(drive_.FileOn("bad", kDataFile), source_.substr(0, kChunkBytes)));
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

// The drive's path leads to the bare mount-point folder once the medium has
// gone; the chunk went on to the detached medium. The volume must be refused,
// and nothing of it left in that folder of the root file system.
TEST_F(ReadBackTest, MediumUnmountedDuringTheChunkIsRefusedAndLeavesNothingBehind) {
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

}  // namespace
}  // namespace slicery::e2e
