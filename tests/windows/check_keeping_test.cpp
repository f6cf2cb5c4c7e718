// What a check keeps on the real Windows host: the system's temporary folder
// from GetTempPath, its free space checked before anything is kept there, and
// the kept file gone from the folder once the check lets go of it.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "check/kept_file.h"
#include "fakes/scripted_screen.h"
#include "operation/context.h"
#include "platform/env.h"

namespace slicery {
namespace {

// The check's files in the temporary folder: GetTempFileName's "slc" names.
int KeptFiles(const std::string& folder) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    count += name.rfind("slc", 0) == 0 && entry.path().extension() == ".tmp";
  }
  return count;
}

TEST(CheckKeepingTest, TheTemporaryFolderIsCheckedForRoomAndLeftAsItWas) {
  std::ostringstream error, out;
  std::istringstream in;
  std::unique_ptr<Env> env = NewHostEnv(error, {});
  ASSERT_NE(env, nullptr) << error.str();
  char expected[MAX_PATH + 1];
  ASSERT_NE(GetTempPathA(sizeof expected, expected), 0u);
  const std::string folder = env->TempFolder();
  EXPECT_EQ(folder, expected);
  ASSERT_EQ(folder.back(), '\\');
  const std::optional<std::uint64_t> free = env->FreeBytesIn(folder);
  ASSERT_TRUE(free);
  EXPECT_GT(*free, 0u);
  EXPECT_FALSE(env->FreeBytesIn("Q:\\no such folder\\"));

  ScriptedScreen screen;
  screen.set_fallback([](const DialogCall&) { return DialogResult::kOk; });
  Context ctx{{screen, in, out, true}, *env};
  const int before = KeptFiles(folder);
  // More than the folder has: told, with the bytes and the folder, and
  // nothing kept.
  EXPECT_EQ(KeptFile::Start(ctx, *free + (std::uint64_t{1} << 40)), nullptr);
  ASSERT_EQ(screen.calls().size(), 1u);
  EXPECT_NE(screen.calls()[0].text.find(std::to_string(*free + (std::uint64_t{1} << 40)) +
                                        " bytes kept in " + folder),
            std::string::npos)
      << screen.calls()[0].text;
  EXPECT_EQ(KeptFiles(folder), before);

  std::unique_ptr<KeptFile> kept = KeptFile::Start(ctx, 10);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(KeptFiles(folder), before + 1);
  kept->Keep(3, "defghij");
  kept->Keep(0, "abc");
  char bytes[16] = {};
  bool failed = false;
  ASSERT_TRUE(kept->intact());
  ASSERT_TRUE(kept->file().Seek(0));
  EXPECT_EQ(std::string(bytes, kept->file().Read(bytes, sizeof bytes, &failed)),
            "abcdefghij");
  EXPECT_FALSE(failed);
  // Once the check lets go of it, nothing of it is left in the folder.
  kept.reset();
  EXPECT_EQ(KeptFiles(folder), before);
  EXPECT_EQ(screen.calls().size(), 1u);
}

}  // namespace
}  // namespace slicery
