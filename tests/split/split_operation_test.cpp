#include "split/split_operation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dialog_texts.h"
#include "diskset/volume.h"
#include "fakes/fake_host.h"
#include "platform/dialog_types.h"

namespace slicery {
namespace {

using namespace texts;

std::string Bytes(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131) ^ (i >> 8));
  return s;
}

DiskInfoRecord RecordOn(MemoryEnv& env, const std::string& disk) {
  DiskInfoRecord record;
  const std::optional<std::string> info = env.DiskFile(disk, kInfoFileName);
  if (!info) {
    ADD_FAILURE() << "no record on " << disk;
    return record;
  }
  return DecodeDiskInfo(*info, RecordReading::kWholeRecord, {}).value_or(record);
}

class SplitTest : public ::testing::Test {
 protected:
  explicit SplitTest(const std::string& typed = "src.bin\n") : host_(typed) {
    host_.env.set_tick_count(1000);
  }
  // The next insert request is answered with `disk` in the drive.
  void Insert(const std::string& disk) {
    host_.screen.Then(DialogResult::kOk, [this, disk] { host_.env.InsertDisk(disk); });
  }
  FakeHost host_;
};

TEST_F(SplitTest, SpreadsTheSourceOverVolumesWithARecordEach) {
  const std::string source = Bytes(2500);
  host_.env.SetFile("src.bin", source);
  for (const char* disk : {"d1", "d2", "d3"}) {
    host_.env.AddDisk(disk, 1600);  // 1000-byte chunks
    Insert(disk);
  }
  host_.screen.Then(DialogResult::kNo);
  EXPECT_EQ(RunSplitOperation(host_.ctx), OperationOutcome::kEndProgram);

  const char* disks[] = {"d1", "d2", "d3"};
  for (int i = 0; i < 3; ++i) {
    const DiskInfoRecord r = RecordOn(host_.env, disks[i]);
    const std::size_t length = i < 2 ? 1000 : 500;
    EXPECT_EQ(r.source_path, "src.bin");
    EXPECT_EQ(r.disk_index, i);
    EXPECT_EQ(r.continuation_mark, i < 2 ? '+' : '*');
    EXPECT_EQ(r.chunk_length, static_cast<std::int32_t>(length));
    EXPECT_EQ(r.operation_id, 3304);  // drawn from tick 1000
    EXPECT_EQ(host_.env.DiskFile(disks[i], kDataFileName),
              source.substr(i * 1000, length));
    EXPECT_EQ(host_.env.DiskFile(disks[i], kProbeFileName), "");
  }
  ASSERT_FALSE(host_.screen.calls().empty());
  EXPECT_EQ(host_.screen.calls().back().text, kComplete);
  EXPECT_EQ(host_.screen.calls().back().buttons, Buttons::kYesNo);
  EXPECT_EQ(host_.screen.calls().back().icon, Icon::kNone);
  EXPECT_EQ(host_.screen.calls()[0].caption, "Insert Disk");
  EXPECT_EQ(host_.screen.calls()[0].buttons, Buttons::kOkCancel);
  EXPECT_EQ(host_.screen.calls()[0].icon, Icon::kNone);
  EXPECT_EQ(host_.out.str(),
            "Please enter the filename to slicery: \n"
            "Slicery Operation: Slicery\nFilename: src.bin\n"
            "Writing to disk [........................] Checking "
            "[.........................] 1000 bytes written\n"
            "Writing to disk [........................] Checking "
            "[.........................] 1000 bytes written\n"
            "Writing to disk [............] Checking [.........................] 500 "
            "bytes written\n");
}

TEST_F(SplitTest, EmptyAndExactMultipleSourcesEndWithAnEmptyLastVolume) {
  for (const std::size_t size : {0u, 2000u}) {
    FakeHost host("src.bin");
    host.env.SetFile("src.bin", Bytes(size));
    const int volumes = size == 0 ? 1 : 3;
    for (int i = 0; i < volumes; ++i) {
      const std::string disk = "d" + std::to_string(i);
      host.env.AddDisk(disk, 1600);
      host.screen.Then(DialogResult::kOk, [&host, disk] { host.env.InsertDisk(disk); });
    }
    host.screen.Then(DialogResult::kYes);
    EXPECT_EQ(RunSplitOperation(host.ctx), OperationOutcome::kBackToMenu);
    const std::string last = "d" + std::to_string(volumes - 1);
    const DiskInfoRecord r = RecordOn(host.env, last);
    EXPECT_EQ(r.disk_index, volumes - 1);
    EXPECT_EQ(r.continuation_mark, '*');
    EXPECT_EQ(r.chunk_length, 0);
    EXPECT_EQ(host.env.DiskFile(last, kDataFileName), "");
    if (size > 0) {
      EXPECT_EQ(RecordOn(host.env, "d1").continuation_mark, '+');
    }
    EXPECT_NE(host.out.str().find("Writing to disk [] Checking [] 0 bytes written\n"),
              std::string::npos);
    EXPECT_TRUE(host.screen.exhausted());
  }
}

TEST_F(SplitTest, RefusedVolumesKeepTheDiskIndex) {
  host_.env.SetFile("src.bin", Bytes(1500));
  host_.env.AddDisk("small", 599);
  host_.env.AddDisk("old", 1600);
  host_.env.AddDisk("d1", 1600);
  host_.env.AddDisk("d2", 1600);
  host_.env.InsertDisk("old");
  ASSERT_EQ(WriteDiskInfo(host_.env, {"other.bin", 0, '*', 0, 1}), WriteResult::kWritten);
  // A folder with nothing mounted on it, holding what an interrupted split
  // left: an empty drive, of which nothing is read, removed or written.
  host_.env.AddDisk("bare", 1600);
  host_.env.InsertDisk("bare");
  host_.env.SetFile(DataFilePath(host_.env), "left");
  host_.env.set_has_medium(false);
  Insert("bare");
  host_.screen.Then(DialogResult::kOk);
  host_.screen.Then(DialogResult::kOk, [this] {  // empty drive: not writable
    host_.env.set_has_medium(true);
    host_.env.InsertDisk("");
  });
  host_.screen.Then(DialogResult::kOk);
  Insert("small");  // under 600 bytes free
  host_.screen.Then(DialogResult::kOk);
  Insert("old");  // another set: declined, then accepted
  host_.screen.Then(DialogResult::kNo);
  Insert("d1");
  Insert("d1");  // this set's own volume again
  host_.screen.Then(DialogResult::kOk);
  Insert("old");
  host_.screen.Then(DialogResult::kYes);
  host_.screen.Then(DialogResult::kNo);
  RunSplitOperation(host_.ctx);

  EXPECT_EQ(host_.screen.Count(kUnwritable), 2);
  EXPECT_EQ(host_.env.DiskFile("bare", kDataFileName), "left");
  EXPECT_EQ(host_.env.DiskFile("bare", kProbeFileName), std::nullopt);
  EXPECT_EQ(host_.screen.Count(kTooSmall), 1);
  EXPECT_EQ(host_.screen.Count(kReuse), 2);
  EXPECT_EQ(host_.screen.Count(kUsedHere), 1);
  EXPECT_EQ(RecordOn(host_.env, "d1").disk_index, 0);
  EXPECT_EQ(RecordOn(host_.env, "old").disk_index, 1);
  EXPECT_EQ(RecordOn(host_.env, "old").source_path, "src.bin");
  EXPECT_EQ(host_.env.DiskFile("small", kProbeFileName), "");  // probed, then refused
  EXPECT_TRUE(host_.screen.exhausted());
}

// An interrupted split leaves a data file without a record; it belongs to no
// set and is not counted against the new chunk.
TEST_F(SplitTest, ALeftoverDataFileIsRemovedBeforeTheVolumeIsMeasured) {
  const std::string source = Bytes(1500);
  host_.env.SetFile("src.bin", source);
  for (const char* disk : {"d1", "d2"}) {
    host_.env.AddDisk(disk, 1600);
    host_.env.InsertDisk(disk);
    host_.env.SetFile(DataFilePath(host_.env), Bytes(1600));
    Insert(disk);
  }
  host_.screen.Then(DialogResult::kNo);
  EXPECT_EQ(RunSplitOperation(host_.ctx), OperationOutcome::kEndProgram);
  EXPECT_EQ(host_.env.DiskFile("d1", kDataFileName), source.substr(0, 1000));
  EXPECT_EQ(host_.env.DiskFile("d2", kDataFileName), source.substr(1000));
  EXPECT_EQ(RecordOn(host_.env, "d2").continuation_mark, '*');
  EXPECT_TRUE(host_.screen.exhausted());
}

TEST_F(SplitTest, CancelAndAbortLeaveWhatWasWritten) {
  host_.env.SetFile("src.bin", Bytes(1500));
  host_.env.AddDisk("d1", 1600);
  Insert("d1");
  host_.screen.Then(DialogResult::kCancel)
      .Then(DialogResult::kNo);  // cancel, but do not abort
  host_.screen.Then(DialogResult::kCancel).Then(DialogResult::kYes);  // cancel and abort
  host_.screen.Then(DialogResult::kYes);                              // another operation
  EXPECT_EQ(RunSplitOperation(host_.ctx), OperationOutcome::kBackToMenu);
  EXPECT_EQ(host_.screen.Count(kSplitInsert), 3);
  EXPECT_EQ(host_.screen.Count("Abort operation?"), 2);
  EXPECT_EQ(host_.screen.calls().back().text, kAnother);
  EXPECT_EQ(RecordOn(host_.env, "d1").continuation_mark, '+');
}

// With recovery disks, the read-back checks each data disk's checksum file
// and each recovery disk's chunk too: a medium that stores either wrong (its
// cache right) is refused, and the set goes on another disk.
TEST_F(SplitTest, ReadBackRefusesAChecksumFileOrARecoveryChunkStoredWrong) {
  host_.env.SetFile("src.bin", Bytes(2982));  // chunks of 2921 and 61 bytes
  host_.ctx.recovery_disks = 1;
  for (const char* disk : {"d1", "bad-c2z", "d2", "bad-r2z", "r1"})
    host_.env.AddDisk(disk, 4000);
  host_.env.disk("bad-c2z").damages_from = 62;    // past Disk #2's chunk and record
  host_.env.disk("bad-r2z").damages_from = 1000;  // past the recovery disk's record
  for (const char* disk : {"d1", "bad-c2z", "d2", "bad-r2z", "r1"}) {
    Insert(disk);
    if (std::string(disk).starts_with("bad")) host_.screen.Then(DialogResult::kOk);
  }
  host_.screen.Then(DialogResult::kNo);
  EXPECT_EQ(RunSplitOperation(host_.ctx), OperationOutcome::kEndProgram);
  EXPECT_EQ(host_.screen.Count(kReadBack), 2);
  EXPECT_EQ(host_.screen.calls().back().text, kComplete);
  for (const char* bad : {"bad-c2z", "bad-r2z"}) {
    EXPECT_TRUE(host_.env.disk(bad).files.empty()) << bad;
  }
  // Only the file meant was damaged: those before it on its disk are shorter.
  EXPECT_GT(host_.env.DiskFile("d2", kChecksumFileName).value_or("").size(), 62u);
  EXPECT_EQ(host_.env.DiskFile("d2", kDataFileName).value_or("").size(), 61u);
  EXPECT_LT(host_.env.DiskFile("r1", kRecoveryRecordName).value_or("").size(), 1000u);
  EXPECT_TRUE(host_.screen.exhausted());
}

TEST_F(SplitTest, AFileThatWillNotOpenIsAskedForAgain) {
  FakeHost host("missing.bin\n" + std::string(300, 'x') + "\nsrc.bin");
  host.env.SetFile("src.bin", "");
  host.env.AddDisk("d1", 1600);
  host.screen.Then(DialogResult::kOk).Then(DialogResult::kOk);
  host.screen.Then(DialogResult::kOk, [&host] { host.env.InsertDisk("d1"); })
      .Then(DialogResult::kNo);
  EXPECT_EQ(RunSplitOperation(host.ctx), OperationOutcome::kEndProgram);
  ASSERT_FALSE(host.screen.calls().empty());
  const DialogCall& retry = host.screen.calls()[0];
  EXPECT_EQ(retry.text,
            "Slicery was unable to open the file.  Please enter another filename.");
  EXPECT_EQ(retry.caption, "Slicery");
  EXPECT_EQ(retry.buttons, Buttons::kOkCancel);
  EXPECT_EQ(retry.icon, Icon::kWarning);
  EXPECT_EQ(RecordOn(host.env, "d1").source_path, "src.bin");
}

}  // namespace
}  // namespace slicery
