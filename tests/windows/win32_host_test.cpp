// The real Windows host against drive A. The drive must exist and be writable;
// tests/windows/run-under-wine.sh maps it to a scratch folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "diskset/volume.h"
#include "diskset/volume_writer.h"
#include "menu/host_context.h"
#include "platform/env.h"
#include "platform/file.h"
#include "platform/forwarding_env.h"
#include "ui/console.h"
#include "ui/progress_meter.h"
#include "windows/drive_files.h"

namespace slicery {
namespace {

// Odd-sized bytes that differ from block to block, so a block read from the
// wrong offset shows.
std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131) ^ (i >> 8));
  return s;
}

// The real host, except that a data file is damaged on the disk, after it was
// written and synced, just before it is read back from the medium.
class DamagingEnv : public ForwardingEnv {
 public:
  using ForwardingEnv::ForwardingEnv;

  std::unique_ptr<File> OpenFromMedium(const std::string& path) override {
    if (path == DataFilePath(host_)) damaged_ = Damage(path);
    return host_.OpenFromMedium(path);
  }
  bool damaged() const { return damaged_; }

 private:
  // Flips every bit of a few bytes well past the first 4 KiB.
  static bool Damage(const std::string& path) {
    constexpr std::streamoff kAt = 5000;
    char bytes[16];
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!file.seekg(kAt) || !file.read(bytes, sizeof bytes)) return false;
    for (char& byte : bytes) byte = static_cast<char>(~byte);
    return file.seekp(kAt) && file.write(bytes, sizeof bytes) && file.flush();
  }

  bool damaged_ = false;
};

class Win32HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_ = NewHostEnv(error_, {});
    ASSERT_NE(env_, nullptr) << error_.str();
    ASSERT_TRUE(Exists("A:\\")) << "drive A is not mapped";
    ClearDiskSet(*env_);
  }
  void TearDown() override {
    if (env_) ClearDiskSet(*env_);
    std::filesystem::remove("A:\\OTHER.TXT");
    std::filesystem::remove("A:\\SOURCE.BIN");
  }

  std::ostringstream error_;
  std::unique_ptr<Env> env_;
};

TEST_F(Win32HostTest, RecordIsWrittenWithCrLfAndReadBack) {
  EXPECT_EQ(env_->VolumeRoot(), "A:\\");
  ASSERT_EQ(WriteDiskInfo(*env_, {"X", 3, '+', 1234, 77}), WriteResult::kWritten);
  EXPECT_EQ(RawBytes("A:\\SLICERY.Q2Z"), "X\r\n3\r\n+\r\n1234\r\n77");

  const std::optional<DiskInfoRecord> record = ReadDiskInfo(*env_, {});
  ASSERT_TRUE(record);
  EXPECT_EQ(record->disk_index, 3);
  EXPECT_EQ(record->continuation_mark, '+');
  EXPECT_EQ(record->chunk_length, 1234);
  EXPECT_EQ(record->operation_id, 77);
  const RecordedPath recorded = ReadRecordedPath(*env_);
  EXPECT_EQ(recorded.status, RecordedPath::kRead);
  EXPECT_EQ(recorded.first_line, "X");
}

// Chunks are binary: no byte may be translated on the way out or back in.
TEST_F(Win32HostTest, BinaryFilesKeepEveryByteThroughSyncAndSeek) {
  const std::string bytes("a\nb\r\nc\x1aZ\0e", 10);
  std::unique_ptr<File> out = env_->Open("A:\\SLICERY.A2Z", FileMode::kWriteBinary);
  ASSERT_NE(out, nullptr);
  ASSERT_TRUE(out->Write(bytes.data(), bytes.size()));
  ASSERT_TRUE(SyncAndClose(*out));
  EXPECT_EQ(RawBytes("A:\\SLICERY.A2Z"), bytes);

  std::unique_ptr<File> in = env_->Open("A:\\SLICERY.A2Z", FileMode::kReadBinary);
  ASSERT_NE(in, nullptr);
  char buffer[16] = {};
  bool failed = false;
  ASSERT_TRUE(in->Seek(2));
  EXPECT_EQ(std::string(buffer, in->Read(buffer, sizeof buffer, &failed)),
            bytes.substr(2));
  EXPECT_FALSE(failed);
  EXPECT_TRUE(in->Close());
  EXPECT_EQ(env_->Open("A:\\NO\\SUCH.DIR", FileMode::kWriteBinary), nullptr);
  EXPECT_EQ(env_->Open("A:\\MISSING.BIN", FileMode::kReadBinary), nullptr);
}

// Two spellings of one file are one file by volume serial and file index.
TEST_F(Win32HostTest, KindsAndIdentitiesOfPathsAndTruncation) {
  std::unique_ptr<File> file = env_->Open("A:\\SLICERY.A2Z", FileMode::kWriteBinary);
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->Write("abcdef", 6));
  ASSERT_TRUE(file->Truncate(2));
  ASSERT_TRUE(file->Write("XY", 2));
  ASSERT_TRUE(file->Close());
  EXPECT_EQ(RawBytes("A:\\SLICERY.A2Z"), "abXY");
  std::ofstream("A:\\OTHER.TXT") << "other";

  EXPECT_EQ(env_->KindOf("A:\\SLICERY.A2Z"), FileKind::kRegular);
  EXPECT_EQ(env_->KindOf("A:\\"), FileKind::kDirectory);
  EXPECT_EQ(env_->KindOf("A:\\MISSING.BIN"), FileKind::kNone);
  EXPECT_TRUE(env_->SameFile("A:\\SLICERY.A2Z", "a:\\.\\slicery.a2z"));
  EXPECT_TRUE(IsVolumeFile(*env_, "A:/SLICERY.A2Z"));
  EXPECT_FALSE(IsVolumeFile(*env_, "A:\\OTHER.TXT"));
  EXPECT_FALSE(env_->SameFile("A:\\MISSING.BIN", "A:\\MISSING.BIN"));
}

// A rebuilt file is made only where nothing is, then moved over the file it
// replaces in one step; that file opens for writing, as the check before it
// does, without losing a byte.
TEST_F(Win32HostTest, ANewFileIsMadeBesideAndRenamedOverTheOld) {
  std::ofstream("A:\\OTHER.TXT") << "old bytes";
  EXPECT_EQ(env_->CreateNew("A:\\OTHER.TXT", "A:\\OTHER.TXT"), nullptr);
  std::unique_ptr<File> made = env_->CreateNew("A:\\SOURCE.BIN", "A:\\OTHER.TXT");
  ASSERT_NE(made, nullptr);
  ASSERT_TRUE(made->Write("new\n", 4));
  ASSERT_TRUE(SyncAndClose(*made));
  EXPECT_EQ(RawBytes("A:\\OTHER.TXT"), "old bytes");
  ASSERT_TRUE(env_->Rename("A:\\SOURCE.BIN", "A:\\OTHER.TXT"));
  EXPECT_EQ(RawBytes("A:\\OTHER.TXT"), "new\n");
  EXPECT_FALSE(Exists("A:\\SOURCE.BIN"));
  EXPECT_TRUE(env_->SyncFolderOf("A:\\OTHER.TXT"));
  EXPECT_FALSE(env_->Rename("A:\\SOURCE.BIN", "A:\\OTHER.TXT"));
  EXPECT_EQ(RawBytes("A:\\OTHER.TXT"), "new\n");
  std::unique_ptr<File> update = env_->Open("A:\\OTHER.TXT", FileMode::kUpdateBinary);
  ASSERT_NE(update, nullptr);
  EXPECT_TRUE(update->Close());
  EXPECT_EQ(RawBytes("A:\\OTHER.TXT"), "new\n");
  EXPECT_TRUE(env_->VolumeHasMedium());
}

// Reads without the system's buffering go in aligned blocks of their own; the
// bytes handed out in pieces of any size must still be the file's, in order,
// and end where it ends.
TEST_F(Win32HostTest, AFileReadsBackFromTheMediumWhole) {
  const std::string bytes = Pattern(200001);
  std::unique_ptr<File> out = env_->Open("A:\\SLICERY.A2Z", FileMode::kWriteBinary);
  ASSERT_NE(out, nullptr);
  ASSERT_TRUE(out->Write(bytes.data(), bytes.size()));
  ASSERT_TRUE(out->Sync());
  const std::optional<FileIdentity> written = out->Identity();
  ASSERT_TRUE(out->Close());
  std::unique_ptr<File> other = env_->Open("A:\\OTHER.TXT", FileMode::kWriteBinary);
  ASSERT_NE(other, nullptr);
  const std::optional<FileIdentity> other_identity = other->Identity();
  ASSERT_TRUE(other->Close());

  std::unique_ptr<File> in = env_->OpenFromMedium("A:\\SLICERY.A2Z");
  ASSERT_NE(in, nullptr);
  std::string read;
  char piece[10007];
  bool failed = false;
  for (std::size_t n; (n = in->Read(piece, sizeof piece, &failed)) > 0;) {
    read.append(piece, n);
  }
  EXPECT_FALSE(failed);
  EXPECT_TRUE(read == bytes) << read.size() << " bytes read";
  const std::optional<FileIdentity> found = in->Identity();
  ASSERT_TRUE(found && written && other_identity);
  EXPECT_TRUE(found->SameFileAs(*written));
  EXPECT_EQ(found->size, bytes.size());
  EXPECT_FALSE(found->SameFileAs(*other_identity));
  // A reader that goes on past a bad sector seeks: to each block in turn, back,
  // into another aligned block, and to the end.
  for (const std::uint64_t at :
       {std::uint64_t{4096}, std::uint64_t{8192}, std::uint64_t{5}, std::uint64_t{131069},
        std::uint64_t{200001}}) {
    ASSERT_TRUE(in->Seek(at)) << at;
    const std::size_t n = in->Read(piece, 4096, &failed);
    EXPECT_EQ(std::string(piece, n), bytes.substr(at, 4096)) << at;
  }
  EXPECT_FALSE(failed);
  EXPECT_TRUE(in->Close());
  EXPECT_EQ(env_->OpenFromMedium("A:\\MISSING.BIN"), nullptr);
}

// A chunk damaged on the disk between its write and its read-back refuses the
// volume and leaves none of its files; the same chunk then goes onto the drive
// and reads back, with the read-back's dots on the progress line.
TEST_F(Win32HostTest, WriteVolumeReadsTheChunkBackFromTheDrive) {
  const std::string bytes = Pattern(300001);
  ASSERT_TRUE(std::ofstream("A:\\SOURCE.BIN", std::ios::binary)
                  .write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
  std::unique_ptr<File> source = env_->Open("A:\\SOURCE.BIN", FileMode::kReadBinary);
  ASSERT_NE(source, nullptr);
  SplitSource split{*source, 0, source->Identity()};
  const std::optional<ChunkBudget> space = QueryChunkBudget(*env_);
  ASSERT_TRUE(space);
  // Room for one byte more, so the copy meets the source's end: the last volume.
  const ChunkBudget budget{bytes.size() + 1, space->unit};
  const VolumeFields fields{"A:\\SOURCE.BIN", 0, 7};

  DamagingEnv damaging(*env_);
  ASSERT_TRUE(ProbeVolume(damaging));
  std::ostringstream console;
  ProgressMeter meter(console);
  VolumeWriteResult written = WriteVolume(damaging, split, budget, fields, true, meter);
  EXPECT_TRUE(damaging.damaged());
  EXPECT_EQ(written.status, VolumeWrite::kReadBackFailed);
  EXPECT_FALSE(Exists("A:\\SLICERY.A2Z"));
  EXPECT_FALSE(Exists("A:\\SLICERY.Q2Z"));
  EXPECT_FALSE(Exists("A:\\SLICERY.L2Z"));
  EXPECT_EQ(split.next_chunk, 0u);

  console.str("");
  written = WriteVolume(*env_, split, budget, fields, true, meter);
  EXPECT_EQ(written.status, VolumeWrite::kWritten);
  EXPECT_EQ(written.kept, bytes.size());
  EXPECT_TRUE(written.last);
  EXPECT_TRUE(RawBytes("A:\\SLICERY.A2Z") == bytes);
  EXPECT_EQ(console.str(), "Writing to disk [" + std::string(24, '.') + "] Checking [" +
                               std::string(25, '.') + "] ");
  EXPECT_TRUE(source->Close());
}

TEST_F(Win32HostTest, ProbeBudgetAndClearWorkOnTheDrive) {
  ASSERT_TRUE(ProbeVolume(*env_));
  EXPECT_TRUE(Exists("A:\\SLICERY.L2Z"));
  EXPECT_EQ(std::filesystem::file_size("A:\\SLICERY.L2Z"), 0u);

  // The free bytes are what the caller may use, not the drive's size.
  const std::filesystem::space_info space = std::filesystem::space("A:\\");
  const std::optional<VolumeSpace> volume = env_->QueryVolumeSpace();
  ASSERT_TRUE(volume.has_value());
  constexpr std::uint64_t kSlack = 256u << 20;  // other writers share the disk
  EXPECT_LT(volume->free_bytes, space.available + kSlack);
  EXPECT_GT(volume->free_bytes + kSlack, space.available);
  EXPECT_LT(volume->free_bytes, space.capacity);
  EXPECT_FALSE(volume->simulated_free.has_value());
  // The cluster is sectors per cluster times bytes per sector: the block size
  // of the folder that drive A is mapped to, where the runner says which.
  DWORD sectors = 0, bytes_per_sector = 0, free_clusters = 0, clusters = 0;
  ASSERT_TRUE(
      GetDiskFreeSpaceA("A:\\", &sectors, &bytes_per_sector, &free_clusters, &clusters));
  EXPECT_GT(sectors, 1u);  // so a unit of bytes per sector alone would show
  EXPECT_EQ(volume->unit, std::uint64_t{sectors} * bytes_per_sector);
  if (const char* unit = std::getenv("SLICERY_WINE_VOLUME_UNIT")) {
    EXPECT_EQ(volume->unit, std::stoull(unit));
  }
  // The reserve is a whole cluster where that is more than 600 bytes.
  const std::optional<ChunkBudget> budget = QueryChunkBudget(*env_);
  ASSERT_TRUE(budget.has_value());
  EXPECT_EQ(budget->unit, volume->unit);
  EXPECT_LE(budget->bytes, kMaxChunkLength);
  EXPECT_LE(budget->bytes + std::max<std::uint64_t>(600, volume->unit),
            volume->free_bytes + kSlack);

  ASSERT_EQ(WriteDiskInfo(*env_, {"X", 0, '*', 1, 2}), WriteResult::kWritten);
  std::ofstream("A:\\SLICERY.A2Z") << "chunk";
  std::ofstream("A:\\OTHER.TXT") << "kept";
  ClearDiskSet(*env_);
  EXPECT_FALSE(Exists("A:\\SLICERY.Q2Z"));
  EXPECT_FALSE(Exists("A:\\SLICERY.A2Z"));
  EXPECT_FALSE(Exists("A:\\SLICERY.L2Z"));
  EXPECT_EQ(RawBytes("A:\\OTHER.TXT"), "kept");
  env_->Remove("A:\\NEVER.THERE");  // deleting nothing is harmless
}

// A drive that fills up says so, unlike other failures, and a file on it can
// be cut back. The runner maps such a drive where it can mount one.
TEST_F(Win32HostTest, AFullDriveIsToldApartAndAFileCutBack) {
  const char* drive = std::getenv("SLICERY_WINE_FULL_DRIVE");
  if (drive == nullptr) GTEST_SKIP() << "no small drive mapped (SLICERY_WINE_FULL_DRIVE)";
  const std::string path = std::string(drive) + "FILL.BIN";
  std::unique_ptr<File> file = env_->Open(path, FileMode::kWriteBinary);
  ASSERT_NE(file, nullptr);
  const std::string block(64 * 1024, 'x');
  std::uint64_t written = 0;
  while (written < (64u << 20) && file->Write(block.data(), block.size())) {
    written += block.size();
  }
  EXPECT_TRUE(file->NoSpace()) << written << " bytes written";
  EXPECT_GE(file->Position().value_or(0), written);
  ASSERT_TRUE(file->Truncate(written / 2));
  EXPECT_TRUE(SyncAndClose(*file));
  EXPECT_EQ(std::filesystem::file_size(path), written / 2);
  EXPECT_FALSE(file->Write("x", 1));  // closed: no fault of the drive's
  EXPECT_FALSE(file->NoSpace());
  std::filesystem::remove(path);
}

TEST_F(Win32HostTest, TicksAreMillisecondsAndTypedPathsAreUpperCased) {
  const std::uint32_t before = env_->TickCount();
  Sleep(200);
  const std::uint32_t elapsed = env_->TickCount() - before;
  EXPECT_GE(elapsed, 150u);
  EXPECT_LE(elapsed, 5000u);

  // The host binding decides the upper-casing; the path is typed on streams
  // of the test's own.
  std::unique_ptr<HostContext> host = HostContext::Open({}, /*read_back=*/true);
  ASSERT_NE(host, nullptr);
  const Context& bound = host->context();
  std::istringstream in("c:\\dir\\file.bin");
  std::ostringstream out;
  Console console{bound.screen, in, out, bound.upper_case_typed_paths};
  std::string path;
  ASSERT_TRUE(ReadTypedPath(console, &path));
  EXPECT_EQ(path, "C:\\DIR\\FILE.BIN");
}

}  // namespace
}  // namespace slicery
