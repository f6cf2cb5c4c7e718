// The drive that --volume names on Windows: which names are taken, and a split
// through the real host onto such a drive. tests/windows/run-under-wine.sh
// maps drive A and the other drive to scratch folders.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>

#include "diskset/volume.h"
#include "fakes/scripted_screen.h"
#include "operation/context.h"
#include "platform/env.h"
#include "platform/host_constants.h"
#include "split/split_operation.h"
#include "ui/console.h"
#include "windows/drive_files.h"

namespace slicery {
namespace {

std::string ToUpper(std::string text) {
  UpperCase(&text);
  return text;
}

// --volume names a drive: a letter and its colon, with or without the
// backslash. Anything else, and --volume-size on any drive, is refused with a
// message that names the option, never ignored.
TEST(Win32VolumeOptionTest, TakesADriveAndNothingElse) {
  const std::pair<const char*, const char*> drives[] = {
      {"e:", "E:\\"}, {"E:\\", "E:\\"}, {"a:\\", "A:\\"}, {"Z:", "Z:\\"}};
  for (const auto& [given, root] : drives) {
    std::ostringstream error;
    const std::unique_ptr<Env> env = NewHostEnv(error, {given, std::nullopt});
    ASSERT_NE(env, nullptr) << given << ": " << error.str();
    EXPECT_EQ(env->VolumeRoot(), root);
    EXPECT_EQ(error.str(), "");
  }
  for (const char* given :
       {"C:\\STICK", "E", "E:/", "E:\\\\", "EE:", "1:", ":\\", "\\\\server\\share"}) {
    std::ostringstream error;
    EXPECT_EQ(NewHostEnv(error, {given, std::nullopt}), nullptr) << given;
    EXPECT_EQ(error.str(), std::string("slicery: --volume must name a drive on Windows, "
                                       "such as E: or E:\\, not \"") +
                               given + "\"\n");
  }
  const std::optional<std::string> roots[] = {std::nullopt, "E:"};
  for (const std::optional<std::string>& root : roots) {
    std::ostringstream error;
    EXPECT_EQ(NewHostEnv(error, {root, "1457664"}), nullptr);
    EXPECT_EQ(error.str(),
              "slicery: --volume-size is not available on Windows, where the volume is "
              "a whole drive\n");
  }
}

// A split through the real host onto the drive that --volume names: its three
// files go to that drive, and its free space and cluster are that drive's.
// The runner maps the drive and names it in SLICERY_WINE_OTHER_DRIVE.
TEST(Win32VolumeOptionTest, ASplitOntoTheNamedDriveUsesThatDriveOnly) {
  const char* letter = std::getenv("SLICERY_WINE_OTHER_DRIVE");
  if (letter == nullptr)
    GTEST_SKIP() << "no other drive mapped (SLICERY_WINE_OTHER_DRIVE)";
  std::ostringstream error;
  std::unique_ptr<Env> env = NewHostEnv(error, {letter, std::nullopt});
  ASSERT_NE(env, nullptr) << error.str();
  const std::string root = env->VolumeRoot();
  ASSERT_TRUE(Exists(root)) << root << " is not mapped";
  ClearDiskSet(*env);
  std::unique_ptr<Env> drive_a = NewHostEnv(error, {});
  ASSERT_NE(drive_a, nullptr) << error.str();
  ClearDiskSet(*drive_a);

  const std::optional<VolumeSpace> space = env->QueryVolumeSpace();
  ASSERT_TRUE(space.has_value());
  DWORD sectors = 0, bytes_per_sector = 0, free_clusters = 0, clusters = 0;
  ASSERT_TRUE(GetDiskFreeSpaceA(root.c_str(), &sectors, &bytes_per_sector, &free_clusters,
                                &clusters));
  EXPECT_EQ(space->unit, std::uint64_t{sectors} * bytes_per_sector);
  if (const char* size = std::getenv("SLICERY_WINE_OTHER_SIZE")) {
    // A drive of its own size: its free space cannot be drive A's.
    EXPECT_LE(space->free_bytes, std::stoull(size));
    EXPECT_GT(std::filesystem::space("A:\\").available, std::stoull(size));
  }

  const std::string source =
      (std::filesystem::temp_directory_path() / "slicery-other-drive.bin").string();
  // A typed path is one word.
  ASSERT_EQ(source.find_first_of(" \t"), std::string::npos) << source;
  const std::string bytes(3000, 'x');
  std::ofstream(source, std::ios::binary) << bytes;
  std::istringstream typed(source + "\n");
  std::ostringstream console;
  ScriptedScreen screen;
  screen.Then(DialogResult::kOk).Then(DialogResult::kNo);  // insert; complete, no more
  Context ctx{{screen, typed, console, kUpperCaseTypedPaths}, *env};
  EXPECT_EQ(RunSplitOperation(ctx), OperationOutcome::kEndProgram) << console.str();
  std::filesystem::remove(source);

  EXPECT_EQ(RawBytes(root + "SLICERY.A2Z"), bytes);
  EXPECT_TRUE(Exists(root + "SLICERY.L2Z"));
  const std::string record = RawBytes(root + "SLICERY.Q2Z");
  EXPECT_EQ(record.rfind(ToUpper(source) + "\r\n0\r\n*\r\n3000\r\n", 0), 0u) << record;
  for (const char* file : {"A:\\SLICERY.Q2Z", "A:\\SLICERY.A2Z", "A:\\SLICERY.L2Z"}) {
    EXPECT_FALSE(Exists(file)) << file;
  }
  ClearDiskSet(*env);
}

}  // namespace
}  // namespace slicery
