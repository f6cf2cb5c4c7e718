#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "diskset/volume.h"
#include "platform/env.h"
#include "platform/file.h"
#include "platform/kernel_copy.h"

namespace slicery {
namespace {

namespace fs = std::filesystem;

class PosixHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("slicery-host-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "sub");
    setenv("SLICERY_VOLUME", root_.c_str(), 1);
    unsetenv("SLICERY_VOLUME_SIZE");
  }
  void TearDown() override {
    fs::remove_all(root_);
    fs::remove(Outside());
    unsetenv("SLICERY_VOLUME");
    unsetenv("SLICERY_VOLUME_SIZE");
  }
  std::unique_ptr<Env> OpenEnv(std::string* error = nullptr,
                               const VolumeOverrides& overrides = {}) {
    std::ostringstream err;
    std::unique_ptr<Env> env = NewHostEnv(err, overrides);
    if (error != nullptr) *error = err.str();
    return env;
  }
  static void Write(const fs::path& path, std::size_t size) {
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
  }
  // A file beside the volume folder, not in it.
  fs::path Outside() const { return root_.string() + "-outside"; }
  fs::path root_;
};

TEST_F(PosixHostTest, RecordBytesAreCrLfWithNoLineEndAtTheEnd) {
  std::unique_ptr<Env> env = OpenEnv();
  ASSERT_EQ(env->VolumeRoot(), root_.string() + "/");
  ASSERT_EQ(WriteDiskInfo(*env, {"X", 3, '+', 1234, 77}), WriteResult::kWritten);
  std::ifstream in(root_ / "SLICERY.Q2Z", std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  EXPECT_EQ(bytes.str(), "X\r\n3\r\n+\r\n1234\r\n77");
  EXPECT_TRUE(ProbeVolume(*env));
  EXPECT_TRUE(fs::exists(root_ / "SLICERY.L2Z"));
  ClearDiskSet(*env);
  EXPECT_FALSE(fs::exists(root_ / "SLICERY.Q2Z"));
  EXPECT_FALSE(fs::exists(root_ / "SLICERY.L2Z"));
}

TEST_F(PosixHostTest, ARecordThatCannotBeOpenedStillCounts) {
  fs::create_symlink("SLICERY.Q2Z", root_ / "SLICERY.Q2Z");  // a loop: open fails
  EXPECT_EQ(ReadRecordedPath(*OpenEnv()).status, RecordedPath::kUnreadable);
  fs::remove(root_ / "SLICERY.Q2Z");
  EXPECT_EQ(ReadRecordedPath(*OpenEnv()).status, RecordedPath::kNone);
}

// What a path names is found without opening it (a FIFO with no writer would
// block), and two paths are one file by device and inode, not by spelling.
TEST_F(PosixHostTest, KindsAndIdentitiesOfPathsAndTruncation) {
  std::unique_ptr<Env> env = OpenEnv();
  Write(root_ / "a", 10);
  fs::create_hard_link(root_ / "a", root_ / "sub" / "link");
  fs::create_symlink("a", root_ / "sym");
  ASSERT_EQ(mkfifo((root_ / "fifo").c_str(), 0600), 0);
  const std::pair<fs::path, FileKind> kinds[] = {
      {root_ / "sym", FileKind::kRegular}, {root_ / "sub", FileKind::kDirectory},
      {root_ / "fifo", FileKind::kOther},  {"/dev/null", FileKind::kCharDevice},
      {root_ / "none", FileKind::kNone},
  };
  for (const auto& [path, kind] : kinds) EXPECT_EQ(env->KindOf(path), kind) << path;
  if (fs::is_block_file("/dev/loop0")) {
    EXPECT_EQ(env->KindOf("/dev/loop0"), FileKind::kBlockDevice);
  }
  EXPECT_TRUE(env->SameFile(root_ / "a", root_ / "sub/../sym"));
  EXPECT_TRUE(env->SameFile(root_ / "sub" / "link", root_ / "a"));
  EXPECT_FALSE(env->SameFile(root_ / "a", root_ / "fifo"));
  EXPECT_FALSE(env->SameFile(root_ / "none", root_ / "none"));

  // Cut back, the next write follows the bytes kept.
  std::unique_ptr<File> file = env->Open(root_ / "t", FileMode::kWriteBinary);
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->Write("abcdef", 6));
  ASSERT_TRUE(file->Truncate(2));
  ASSERT_TRUE(file->Write("XY", 2));
  ASSERT_TRUE(file->Close());
  std::ifstream in(root_ / "t", std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  EXPECT_EQ(bytes.str(), "abXY");
  // A device cannot be cut back.
  std::unique_ptr<File> null = env->Open("/dev/null", FileMode::kWriteBinary);
  ASSERT_NE(null, nullptr);
  EXPECT_FALSE(null->Truncate(0));
}

TEST_F(PosixHostTest, SimulatedSizeCountsEveryRegularFileBelowTheRoot) {
  setenv("SLICERY_VOLUME_SIZE", "10000", 1);
  Write(root_ / "a", 1000);
  Write(root_ / "sub" / "b", 2500);
  // A link takes no room of its own, whatever it points to.
  Write(Outside(), 5000);
  fs::create_symlink(Outside(), root_ / "link");
  fs::create_directory_symlink(root_ / "sub", root_ / "sub-link");
  std::unique_ptr<Env> env = OpenEnv();
  EXPECT_EQ(env->QueryVolumeSpace()->simulated_free, 6500u);
  Write(root_ / "sub" / "c", 7000);
  EXPECT_EQ(env->QueryVolumeSpace()->simulated_free, 0u);
  EXPECT_EQ(QueryChunkBudget(*env), std::nullopt);

  // The file system's own figure and unit, beside the simulated one or alone.
  struct statvfs st;
  ASSERT_EQ(statvfs(root_.c_str(), &st), 0);
  const std::uint64_t free_bytes = std::uint64_t{st.f_bavail} * st.f_frsize;
  for (const bool simulated : {true, false}) {
    if (!simulated) unsetenv("SLICERY_VOLUME_SIZE");
    const std::optional<VolumeSpace> space = OpenEnv()->QueryVolumeSpace();
    ASSERT_TRUE(space);
    EXPECT_EQ(space->unit, st.f_frsize);
    EXPECT_NEAR(static_cast<double>(space->free_bytes), static_cast<double>(free_bytes),
                1 << 24);
    EXPECT_EQ(space->simulated_free.has_value(), simulated);
  }
}

TEST_F(PosixHostTest, AMissingRootIsAnEmptyDrive) {
  setenv("SLICERY_VOLUME", (root_ / "gone").c_str(), 1);
  std::unique_ptr<Env> env = OpenEnv();
  EXPECT_EQ(env->QueryVolumeSpace(), std::nullopt);
  EXPECT_FALSE(ProbeVolume(*env));
  EXPECT_FALSE(ReadSetIdentity(*env, {}));
  EXPECT_FALSE(env->SyncVolume());
  Write(root_ / "file", 1);
  setenv("SLICERY_VOLUME", (root_ / "file").c_str(), 1);
  EXPECT_EQ(OpenEnv()->QueryVolumeSpace(), std::nullopt);
}

// A split writes only where a medium is mounted, or where the volume is given
// a size of its own; a link to a mount point leads to the medium.
TEST_F(PosixHostTest, OnlyAMountPointOrAVolumeWithASizeHoldsAMedium) {
  ASSERT_TRUE(fs::is_directory("/proc")) << "no /proc mounted on this host";
  fs::create_directory_symlink("/proc", root_ / "link");
  struct Case {
    fs::path root;
    const char* size;
    bool medium;
  };
  const Case cases[] = {
      {root_, nullptr, false},
      {root_ / "sub", nullptr, false},
      {root_ / "gone", nullptr, false},
      {root_, "1600", true},
      {"/", nullptr, true},
      {"/proc", nullptr, true},
      {root_ / "link", nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.root.string() + (c.size != nullptr ? " with a size" : ""));
    std::optional<std::string> size;
    if (c.size != nullptr) size = c.size;
    std::unique_ptr<Env> env = OpenEnv(nullptr, {c.root.string(), size});
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(env->VolumeHasMedium(), c.medium);
  }
}

// A new file is made only where nothing is, a dangling link included, with the
// mode of the file it is to replace; a rename puts it in that one's place.
TEST_F(PosixHostTest, NewFilesAreMadeOnlyWhereNothingIsAndRenamedOverTheOld) {
  std::unique_ptr<Env> env = OpenEnv();
  const std::string old = (root_ / "old").string();
  Write(old, 10);
  ASSERT_EQ(chmod(old.c_str(), 0640), 0);
  fs::create_symlink(root_ / "nowhere", root_ / "dangling");
  EXPECT_EQ(env->CreateNew(old, old), nullptr);
  EXPECT_EQ(env->CreateNew((root_ / "dangling").string(), old), nullptr);
  EXPECT_FALSE(fs::exists(root_ / "nowhere"));
  EXPECT_EQ(env->CreateNew((root_ / "gone" / "new").string(), old), nullptr);

  std::unique_ptr<File> made = env->CreateNew((root_ / "new").string(), old);
  ASSERT_NE(made, nullptr);
  ASSERT_TRUE(made->Write("abc", 3));
  ASSERT_TRUE(SyncAndClose(*made));
  EXPECT_EQ(fs::file_size(root_ / "old"), 10u);
  struct stat before, after;
  ASSERT_EQ(stat((root_ / "new").c_str(), &before), 0);
  EXPECT_EQ(before.st_mode & 07777, 0640u);
  ASSERT_TRUE(env->Rename((root_ / "new").string(), (root_ / "old").string()));
  ASSERT_EQ(stat((root_ / "old").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_FALSE(fs::exists(root_ / "new"));
  EXPECT_EQ(fs::file_size(root_ / "old"), 3u);
  EXPECT_TRUE(env->SyncFolderOf((root_ / "old").string()));
  EXPECT_FALSE(env->Rename((root_ / "new").string(), (root_ / "old").string()));
  EXPECT_EQ(fs::file_size(root_ / "old"), 3u);
  EXPECT_FALSE(env->SyncFolderOf((root_ / "gone" / "x").string()));
  EXPECT_TRUE(env->SyncFolderOf("bare-name"));
  // "r+b" writes into a file that is there, without emptying it, and makes none.
  std::unique_ptr<File> update =
      env->Open((root_ / "old").string(), FileMode::kUpdateBinary);
  ASSERT_NE(update, nullptr);
  ASSERT_TRUE(update->Close());
  EXPECT_EQ(fs::file_size(root_ / "old"), 3u);
  EXPECT_EQ(env->Open((root_ / "none").string(), FileMode::kUpdateBinary), nullptr);
  EXPECT_FALSE(fs::exists(root_ / "none"));
}

TEST_F(PosixHostTest, RefusesAVolumeSizeThatIsNotAPositiveByteCount) {
  for (const char* bad : {"", "-1", "+5", "12a", "0", " 1", "9223372036854775808",
                          "99999999999999999999"}) {
    setenv("SLICERY_VOLUME_SIZE", bad, 1);
    std::string error;
    EXPECT_EQ(OpenEnv(&error), nullptr) << bad;
    EXPECT_NE(error.find("SLICERY_VOLUME_SIZE"), std::string::npos);
    EXPECT_NE(error.find(std::string("\"") + bad + "\""), std::string::npos);
    EXPECT_EQ(error.find('\n'), error.size() - 1);
  }
  setenv("SLICERY_VOLUME_SIZE", "9223372036854775807", 1);
  EXPECT_NE(OpenEnv(), nullptr);
}

TEST_F(PosixHostTest, TheCommandLineVolumeComesBeforeTheEnvironment) {
  setenv("SLICERY_VOLUME", (root_ / "gone").c_str(), 1);
  setenv("SLICERY_VOLUME_SIZE", "junk", 1);
  Write(root_ / "a", 1000);
  std::string error;
  std::unique_ptr<Env> env = OpenEnv(&error, {root_.string(), "10000"});
  ASSERT_NE(env, nullptr) << error;
  EXPECT_EQ(env->VolumeRoot(), root_.string() + "/");
  EXPECT_EQ(env->QueryVolumeSpace()->simulated_free, 9000u);

  // A bad --volume-size is refused as the variable would be, under its own name.
  setenv("SLICERY_VOLUME_SIZE", "10000", 1);
  EXPECT_EQ(OpenEnv(&error, {std::nullopt, "0"}), nullptr);
  EXPECT_EQ(error,
            "slicery: --volume-size must be a byte count from 1 to 9223372036854775807, "
            "not \"0\"\n");
}

TEST_F(PosixHostTest, SyncFailuresAreReportedExceptForDevicesThatCannotSync) {
  std::unique_ptr<Env> env = OpenEnv();
  std::unique_ptr<File> null_device = env->Open("/dev/null", FileMode::kWriteBinary);
  ASSERT_NE(null_device, nullptr);
  EXPECT_TRUE(null_device->Write("abc", 3));
  EXPECT_TRUE(SyncAndClose(*null_device));

  // A full medium is told apart from other failures, binary or text, at the
  // write or, if buffered, at the flush.
  for (const FileMode mode : {FileMode::kWriteBinary, FileMode::kWriteText}) {
    std::unique_ptr<File> full = env->Open("/dev/full", mode);
    ASSERT_NE(full, nullptr);
    const bool written = full->Write("abc", 3) && full->Sync();
    EXPECT_FALSE(written);
    EXPECT_TRUE(full->NoSpace());
    full->Close();
    EXPECT_FALSE(full->Write("abc", 3));  // closed: no fault of the medium's
    EXPECT_FALSE(full->NoSpace());
  }

  std::unique_ptr<File> directory = env->Open(root_.string(), FileMode::kReadBinary);
  ASSERT_NE(directory, nullptr);
  char byte;
  bool failed = false;
  EXPECT_EQ(directory->Read(&byte, 1, &failed), 0u);
  EXPECT_TRUE(failed);
}

// Copies one file into another: the first bytes and some in the middle through
// Read and Write, the rest in the kernel, `step` bytes a call at most, so both
// ways must leave each file where the other way goes on. The last call finds
// the end of the source: 0 bytes, not a failure.
std::string CopyMixed(Env& env, const fs::path& from, const std::string& to,
                      std::size_t step) {
  std::unique_ptr<File> source = env.Open(from.string(), FileMode::kReadBinary);
  std::unique_ptr<File> destination = env.Open(to, FileMode::kWriteBinary);
  if (!source || !destination) return "cannot open";
  std::string log;
  KernelCopyWay way = KernelCopyWay::kUntried;
  for (int round = 0; round < 2; ++round) {
    char block[10];
    bool failed = false;
    const std::size_t got = source->Read(block, sizeof block, &failed);
    if (failed || !destination->Write(block, got)) return "read or write failed";
    for (int call = 0; call < 3; ++call) {
      const KernelCopyResult copied = CopyInKernel(*source, *destination, step, &way);
      if (!copied.bytes) return "in-kernel copy refused";
      if (copied.source_astray || copied.destination_astray) return "a file astray";
      log += std::to_string(*copied.bytes) + " ";
    }
  }
  return SyncAndClose(*destination) ? log : "close failed";
}

TEST_F(PosixHostTest, CopiesInsideTheKernelWithinAndAcrossFileSystems) {
  std::string bytes(250000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i * 13 + i / 509);
  std::ofstream(root_ / "source", std::ios::binary) << bytes;
  std::unique_ptr<Env> env = OpenEnv();
  // On the same file system, onto tmpfs (another one, unless the temporary
  // folder is tmpfs too), and onto a device.
  const std::string on_tmpfs = "/dev/shm/slicery-host-copy-" + std::to_string(getpid());
  for (const std::string& target :
       {(root_ / "copy").string(), on_tmpfs, std::string("/dev/null")}) {
    if (target == on_tmpfs && !fs::is_directory("/dev/shm")) continue;
    SCOPED_TRACE(target);
    EXPECT_EQ(CopyMixed(*env, root_ / "source", target, 60000),
              "60000 60000 60000 60000 9980 0 ");
    if (target == "/dev/null") continue;
    std::ifstream in(target, std::ios::binary);
    std::stringstream copied;
    copied << in.rdbuf();
    EXPECT_EQ(copied.str(), bytes);
    fs::remove(target);
  }
  // A source that shrinks while open ends where it now ends.
  std::unique_ptr<File> source =
      env->Open((root_ / "source").string(), FileMode::kReadBinary);
  std::unique_ptr<File> destination =
      env->Open((root_ / "copy").string(), FileMode::kWriteBinary);
  ASSERT_TRUE(source && destination);
  fs::resize_file(root_ / "source", 1000);
  KernelCopyWay way = KernelCopyWay::kUntried;
  EXPECT_EQ(CopyInKernel(*source, *destination, 5000, &way).bytes, 1000u);
  EXPECT_EQ(CopyInKernel(*source, *destination, 5000, &way).bytes, 0u);
}

// What a chunk cut back on a full medium relies on: the position after the
// writes, and a cut that keeps the first bytes.
TEST_F(PosixHostTest, DataFileIsCutToItsFirstBytes) {
  std::unique_ptr<Env> env = OpenEnv();
  std::unique_ptr<File> data = env->Open(DataFilePath(*env), FileMode::kWriteBinary);
  ASSERT_NE(data, nullptr);
  ASSERT_TRUE(data->Write("0123456789", 10));
  EXPECT_EQ(data->Position(), 10u);
  ASSERT_TRUE(data->Truncate(4));
  ASSERT_TRUE(SyncAndClose(*data));
  std::ifstream in(DataFilePath(*env), std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  EXPECT_EQ(bytes.str(), "0123");
  EXPECT_FALSE(data->Truncate(0));
  EXPECT_EQ(data->Position(), std::nullopt);
}

TEST_F(PosixHostTest, TickCountIsMillisecondsSinceBoot) {
  std::unique_ptr<Env> env = OpenEnv();
  const std::uint32_t first = env->TickCount();
  usleep(20000);
  const std::uint32_t elapsed = env->TickCount() - first;
  EXPECT_GE(elapsed, 20u);
  EXPECT_LT(elapsed, 2000u);
  std::ifstream uptime("/proc/uptime");
  double seconds = 0;
  if (uptime >> seconds) {
    EXPECT_NEAR(static_cast<double>(first), std::fmod(seconds * 1000, 4294967296.0),
                5000);
  }
}

}  // namespace
}  // namespace slicery
