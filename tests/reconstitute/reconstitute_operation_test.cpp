#include "reconstitute/reconstitute_operation.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "dialog_texts.h"
#include "diskset/volume.h"
#include "fakes/fake_host.h"
#include "fakes/faulty_env.h"
#include "platform/dialog_types.h"
#include "recovery/recovery_files.h"

namespace slicery {
namespace {

using namespace texts;

std::string Bytes(std::size_t size, int seed) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * seed + (i >> 7));
  return s;
}

class ReconstituteTest : public ::testing::Test {
 protected:
  explicit ReconstituteTest() : host_("out.bin") {}

  // Disks `prefix`1.. holding `source` in chunks of the given sizes; with
  // `recovery`, each with a checksum file of a set of that many recovery disks.
  std::string MakeSet(const std::string& prefix, const std::vector<std::size_t>& chunks,
                      OperationId id, int seed, int recovery = 0) {
    const std::uint64_t length = std::accumulate(chunks.begin(), chunks.end(), 0ull);
    std::string source;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
      const std::string disk = prefix + std::to_string(i + 1);
      const std::string data = Bytes(chunks[i], seed + static_cast<int>(i));
      host_.env.AddDisk(disk, 1 << 20);
      host_.env.InsertDisk(disk);
      host_.env.SetFile(DataFilePath(host_.env), data);
      const char mark = i + 1 == chunks.size() ? '*' : '+';
      host_.env.SetFile(InfoFilePath(host_.env),
                        FormatDiskInfo({"rec.bin", static_cast<std::int32_t>(i), mark,
                                        static_cast<std::int32_t>(chunks[i]), id},
                                       "\r\n"));
      if (recovery > 0) {
        BlockSums blocks(kMinBlockSize, true);
        blocks.Add(data.data(), data.size());
        blocks.Finish();
        const std::int32_t index = static_cast<std::int32_t>(i);
        host_.env.SetFile(
            VolumeFilePath(host_.env, kChecksumFileName),
            FormatChunkChecksums({id, index, source.size(), data.size(), length, recovery,
                                  kMinBlockSize, blocks.blocks()}));
      }
      source += data;
    }
    return source;
  }
  void Answer(DialogResult result, const std::string& disk) {
    host_.screen.Then(result, [this, disk] { host_.env.InsertDisk(disk); });
  }
  FakeHost host_;
};

TEST_F(ReconstituteTest, RebuildsFromAnyVolumeFirstAndInOrderAfterwards) {
  const std::string source = MakeSet("d", {100, 700, 30, 24, 0}, 77, 3);
  Answer(DialogResult::kOk, "d3");  // identification with disk 3 of 5
  host_.screen.Then(DialogResult::kYes);
  for (const char* disk : {"d1", "d2", "d3", "d4", "d5"}) Answer(DialogResult::kOk, disk);
  // Power lost while "Operation complete!" is shown: the whole file is kept.
  host_.screen.Then(DialogResult::kYes, [this] { host_.env.ForgetUnsynced(); });
  EXPECT_EQ(RunReconstituteOperation(host_.ctx), OperationOutcome::kBackToMenu);

  EXPECT_EQ(host_.env.FileBytes("rec.bin"), source);
  const auto& calls = host_.screen.calls();
  ASSERT_EQ(calls.size(), 8u);
  EXPECT_EQ(calls[1].text,
            "This operation contains a file entitled\nrec.bin\nWould you like to "
            "reconstitute the file at this location?");
  EXPECT_EQ(calls[1].buttons, Buttons::kYesNo);
  EXPECT_EQ(calls[1].icon, Icon::kQuestion);
  EXPECT_EQ(calls[2].text, "Please insert Disk #1");
  EXPECT_EQ(calls[6].text, "Please insert Disk #5");
  EXPECT_EQ(calls.back().text, kComplete);
  // Dots: length / (length / 25) from 25 up, 25 from 625, none below 25.
  EXPECT_EQ(
      host_.out.str(),
      "Slicery Operation: Reconstitute\nOriginal Filename: rec.bin\n"
      "Target Filename:   rec.bin\n"
      "Reconstituting Data [.........................] 100 bytes reconstituted.\n"
      "Reconstituting Data [.........................] 700 bytes reconstituted.\n"
      "Reconstituting Data [..............................] 30 bytes reconstituted.\n"
      "Reconstituting Data [] 24 bytes reconstituted.\n"
      "Reconstituting Data [] 0 bytes reconstituted.\n");
}

TEST_F(ReconstituteTest, RefusesForeignMisplacedAndUnreadableVolumesThenGoesOn) {
  const std::string source = MakeSet("d", {50, 60}, 77, 5);
  MakeSet("other", {10}, 78, 9);
  host_.env.AddDisk("blank", 10000);
  Answer(DialogResult::kOk, "blank");  // identification: no record, asked again silently
  Answer(DialogResult::kOk, "d1");
  host_.screen.Then(DialogResult::kNo);  // another location
  Answer(DialogResult::kOk, "other1");   // Disk #1: another set
  host_.screen.Then(DialogResult::kOk);
  Answer(DialogResult::kOk, "d2");  // Disk #1: out of order
  host_.screen.Then(DialogResult::kOk);
  Answer(DialogResult::kOk, "blank");     // Disk #1: no record
  host_.screen.Then(DialogResult::kYes);  // search again: still none
  host_.screen.Then(DialogResult::kNo,
                    [this] { host_.env.InsertDisk("d1"); });  // back to the request
  Answer(DialogResult::kOk, "d1");
  Answer(DialogResult::kOk, "d2");
  host_.screen.Then(DialogResult::kNo);
  EXPECT_EQ(RunReconstituteOperation(host_.ctx), OperationOutcome::kEndProgram);

  EXPECT_EQ(host_.env.FileBytes("out.bin"), source);
  EXPECT_EQ(host_.screen.Count(kOtherSet), 1);
  EXPECT_EQ(host_.screen.Count(kOutOfOrder), 1);
  EXPECT_EQ(host_.screen.Count(kNoRecord), 2);
  EXPECT_EQ(host_.screen.Count("Please insert a disk into drive."), 2);
  EXPECT_EQ(host_.screen.Count("Please insert Disk #1"), 4);
  EXPECT_TRUE(host_.screen.exhausted());
}

TEST_F(ReconstituteTest, LocationsAreCheckedCreatedOrChosenAgain) {
  FakeHost host("keep.bin\n/no/such/dir/x.bin\nnew.bin");
  host.env.SetFile("keep.bin", "precious");
  host.env.AddDisk("d1", 10000);
  host.env.InsertDisk("d1");
  host.env.SetFile(DataFilePath(host.env), "abc");
  host.env.SetFile(InfoFilePath(host.env), "/gone/rec.bin\n0\n*\n3\n5");
  host.screen.Then(DialogResult::kOk)
      .Then(DialogResult::kYes);        // the recorded folder is missing here
  host.screen.Then(DialogResult::kOk);  // choose again
  host.screen.Then(DialogResult::kNo);  // keep.bin exists: do not overwrite
  host.screen.Then(DialogResult::kOk);  // the missing dir does not take a file
  host.screen.Then(DialogResult::kOk)
      .Then(DialogResult::kNo);  // Disk #1, then no other operation
  EXPECT_EQ(RunReconstituteOperation(host.ctx), OperationOutcome::kEndProgram);
  EXPECT_EQ(host.screen.Count(kCannotCreate), 2);
  EXPECT_EQ(host.screen.Count(kOverwrite), 1);
  EXPECT_EQ(host.env.FileBytes("keep.bin"), "precious");
  EXPECT_EQ(host.env.FileBytes("new.bin"), "abc");
  EXPECT_TRUE(host.screen.exhausted());
}

TEST_F(ReconstituteTest, CancelAndAMissingDataFileKeepThePartialTarget) {
  MakeSet("d", {40, 40, 40}, 9, 1);
  Answer(DialogResult::kOk, "d1");
  host_.screen.Then(DialogResult::kNo);  // type out.bin: a new, empty file appears
  Answer(DialogResult::kOk, "d1");
  host_.screen.Then(DialogResult::kCancel);  // at Disk #2: the program ends
  EXPECT_EQ(RunReconstituteOperation(host_.ctx), OperationOutcome::kEndProgram);
  EXPECT_EQ(host_.env.FileBytes("out.bin"), Bytes(40, 1));

  FakeHost broken("");
  broken.env.AddDisk("d1", 10000);
  broken.env.InsertDisk("d1");
  broken.env.SetFile(InfoFilePath(broken.env), "t.bin\n0\n+\n3\n5");
  broken.screen.Then(DialogResult::kOk)
      .Then(DialogResult::kYes)
      .Then(DialogResult::kOk)
      .Then(DialogResult::kOk);
  EXPECT_EQ(RunReconstituteOperation(broken.ctx), OperationOutcome::kEndProgram);
  EXPECT_EQ(broken.screen.calls().back().text, kReadFatal);
  EXPECT_EQ(broken.screen.calls().back().caption, "Fatal error");
  EXPECT_EQ(broken.screen.calls().back().buttons, Buttons::kOk);
  EXPECT_EQ(broken.screen.calls().back().icon, Icon::kError);
  EXPECT_EQ(broken.env.FileBytes("t.bin"), "");
}

TEST_F(ReconstituteTest, TheRecordedPathIsCheckedLikeATypedOne) {
  const std::string source = MakeSet("d", {40}, 9, 2);
  host_.env.SetFile("rec.bin", "original");
  std::istringstream typed("A:/SLICERY.A2Z\nnew.bin");
  Context ctx{{host_.screen, typed, host_.out, false}, host_.env};
  Answer(DialogResult::kOk, "d1");
  host_.screen.Then(DialogResult::kYes);  // the recorded rec.bin
  host_.screen.Then(DialogResult::kNo);   // exists: not overwritten
  host_.screen.Then(DialogResult::kOk);   // the volume's data file: never a target
  Answer(DialogResult::kOk, "d1");
  host_.screen.Then(DialogResult::kNo);
  EXPECT_EQ(RunReconstituteOperation(ctx), OperationOutcome::kEndProgram);
  EXPECT_EQ(host_.screen.Count(kOverwrite), 1);
  EXPECT_EQ(host_.screen.Count(kCannotCreate), 1);
  EXPECT_EQ(host_.env.FileBytes("rec.bin"), "original");
  EXPECT_EQ(host_.env.FileBytes("new.bin"), source);
  EXPECT_EQ(host_.env.DiskFile("d1", kDataFileName), source);
  EXPECT_TRUE(host_.screen.exhausted());

  // A record naming the volume's own record file: refused before any question.
  host_.env.SetFile(InfoFilePath(host_.env), "A:/SLICERY.Q2Z\n0\n*\n40\n9");
  host_.screen.Then(DialogResult::kOk)
      .Then(DialogResult::kYes)
      .Then(DialogResult::kCancel)  // no other location
      .Then(DialogResult::kNo);     // no other operation
  EXPECT_EQ(RunReconstituteOperation(host_.ctx), OperationOutcome::kEndProgram);
  EXPECT_EQ(host_.screen.Count(kCannotCreate), 2);
  EXPECT_EQ(host_.screen.Count(kOverwrite), 1);
  EXPECT_EQ(host_.env.DiskFile("d1", kInfoFileName), "A:/SLICERY.Q2Z\n0\n*\n40\n9");
}

// Disk 2 of a three-disk set replaced by a damaged copy: its chunk is cut off
// the target again, its line ends where it stands, and Disk #2 is asked for
// again; or, when the cut itself fails, the program ends with the write error.
struct Damage {
  const char* name;
  int cut;          // bytes taken off the end of the chunk (below 0: added)
  FaultKind fault;  // armed when the damaged copy goes in
  int reads_ahead;  // of `fault`: the nth call from then on; 0 for none
  int dots;         // on the damaged copy's line
  bool cut_back = true;
};

void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }

class DamagedVolumeTest : public ReconstituteTest,
                          public ::testing::WithParamInterface<Damage> {};

// A chunk of 300000 bytes draws a dot every 12000 and is read in two blocks.
const Damage kDamages[] = {
    {"Short", 1000, FaultKind::kRead, 0, 24},
    {"Long", -5, FaultKind::kRead, 0, 25},
    // The record is read, then the chunk's first block; the second fails.
    {"ReadFailsPartWay", 0, FaultKind::kRead, 3, 262144 / 12000},
    {"CutFails", -5, FaultKind::kTruncate, 1, 25, false},
};

TEST_P(DamagedVolumeTest, IsCutBackAndAskedForAgain) {
  const Damage& damage = GetParam();
  const std::string source = MakeSet("d", {100, 300000, 30}, 9, 4);
  const std::string chunk2 = source.substr(100, 300000);
  host_.env.AddDisk("bad", 1 << 20);
  host_.env.InsertDisk("bad");
  host_.env.SetFile(InfoFilePath(host_.env), *host_.env.DiskFile("d2", kInfoFileName));
  host_.env.SetFile(DataFilePath(host_.env),
                    damage.cut >= 0 ? chunk2.substr(0, chunk2.size() - damage.cut)
                                    : chunk2 + std::string(-damage.cut, 'x'));
  FaultyEnv env(host_.env);
  Context ctx{{host_.screen, host_.in, host_.out, false}, env};
  Answer(DialogResult::kOk, "d1");
  host_.screen.Then(DialogResult::kNo);  // to out.bin
  Answer(DialogResult::kOk, "d1");
  host_.screen.Then(DialogResult::kOk, [&] {
    host_.env.InsertDisk("bad");
    if (damage.reads_ahead > 0) {
      env.FailNth(damage.fault, env.calls(damage.fault) + damage.reads_ahead);
    }
  });
  if (!damage.cut_back) {
    host_.screen.Then(DialogResult::kOk);
    EXPECT_EQ(RunReconstituteOperation(ctx), OperationOutcome::kEndProgram);
    EXPECT_EQ(host_.screen.calls().back().text, kWriteFatal);
    return;
  }
  host_.screen.Then(DialogResult::kOk);  // damaged
  for (const char* disk : {"d2", "d3"}) Answer(DialogResult::kOk, disk);
  host_.screen.Then(DialogResult::kNo);
  EXPECT_EQ(RunReconstituteOperation(ctx), OperationOutcome::kEndProgram);

  if (damage.reads_ahead > 0) {
    ASSERT_TRUE(env.fired());
    EXPECT_EQ(env.fired()->path, DataFilePath(host_.env));
  }
  EXPECT_EQ(host_.env.FileBytes("out.bin"), source);
  EXPECT_EQ(host_.screen.Count("Please insert Disk #2"), 2);
  ASSERT_EQ(host_.screen.Count(kDamaged), 1);
  // After identification, the target question and the requests for #1 and #2.
  const DialogCall& told = host_.screen.calls()[4];
  EXPECT_EQ(told.text, kDamaged);
  EXPECT_EQ(told.caption, "Error");
  EXPECT_EQ(told.buttons, Buttons::kOk);
  EXPECT_EQ(told.icon, Icon::kError);
  EXPECT_NE(
      host_.out.str().find("] 100 bytes reconstituted.\nReconstituting Data [" +
                           std::string(damage.dots, '.') + "\nReconstituting Data ["),
      std::string::npos)
      << host_.out.str();
}

INSTANTIATE_TEST_SUITE_P(Damages, DamagedVolumeTest, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return info.param.name; });

// An existing file at the recorded path, agreed to be overwritten: the rebuilt
// file goes into a new file beside it, which replaces it only once whole and
// synced. Until then, whatever ends the rebuild, the old file is as it was.
constexpr std::size_t kSomePrefix = std::string::npos - 1;

struct Replacement {
  const char* name;
  std::vector<std::string> disks;  // inserted at each request; "" cancels it
  FaultKind fault;
  int nth;  // of `fault`; 0: nothing fails
  // Bytes of the source left beside: the first `beside`, or kSomePrefix: some
  // first bytes; npos: no file there.
  std::size_t beside;
  bool replaced;                     // the target holds the rebuilt file
  std::vector<std::string> closing;  // the last dialogs, in order
  int recovery = 0;                  // of the set, whose disks have checksum files
};

void PrintTo(const Replacement& replacement, std::ostream* out) {
  *out << replacement.name;
}

class ReplacementTest : public ReconstituteTest,
                        public ::testing::WithParamInterface<Replacement> {};

const std::string kBeside = "rec.bin.slicery-partial";
const std::vector<std::string> kWholeSet = {"d1", "d2", "d3"};

const Replacement kReplacements[] = {
    {"Completed", kWholeSet, FaultKind::kOpen, 0, std::string::npos, true, {kComplete}},
    // Nothing was written: the empty file beside is removed.
    {"CancelledAtDiskOne",
     {""},
     FaultKind::kOpen,
     0,
     std::string::npos,
     false,
     {"Please insert Disk #1"}},
    {"MissingDataFile", {"d1", "nodata"}, FaultKind::kOpen, 0, 100, false, {kReadFatal}},
    // Some of the chunk goes out before the write fails.
    {"WriteFails", {"d1"}, FaultKind::kWrite, 1, kSomePrefix, false, {kWriteFatal}},
    {"SyncFails", kWholeSet, FaultKind::kSync, 1, 350, false, {kWriteFatal}},
    {"RenameFails",
     kWholeSet,
     FaultKind::kRename,
     1,
     350,
     false,
     {NotReplaced("rec.bin", kBeside)}},
    // A set with recovery disks is rebuilt by its checksums: a failed sync ends
    // it the same, before the rename.
    {"SyncFailsWithChecksums",
     kWholeSet,
     FaultKind::kSync,
     1,
     350,
     false,
     {kWriteFatal, kAnother},
     1},
    // Renamed, but the folder's entry may not be on the medium: never complete.
    {"FolderSyncFails",
     kWholeSet,
     FaultKind::kFolderSync,
     1,
     std::string::npos,
     true,
     {kWriteFatal}},
};

TEST_P(ReplacementTest, TheOldFileStaysUntilTheNewOneIsWhole) {
  const Replacement& c = GetParam();
  const std::string source = MakeSet("d", {100, 200, 50}, 9, 6, c.recovery);
  host_.env.AddDisk("nodata", 1 << 20);
  host_.env.InsertDisk("nodata");
  host_.env.SetFile(InfoFilePath(host_.env), *host_.env.DiskFile("d2", kInfoFileName));
  host_.env.SetFile("rec.bin", "original");
  FaultyEnv env(host_.env);
  env.FailNth(c.fault, c.nth);
  Context ctx{{host_.screen, host_.in, host_.out, false}, env};
  Answer(DialogResult::kOk, "d1");
  host_.screen.Then(DialogResult::kYes).Then(DialogResult::kYes);  // here, overwrite
  for (const std::string& disk : c.disks) {
    if (disk.empty()) {
      host_.screen.Then(DialogResult::kCancel);
    } else {
      Answer(DialogResult::kOk, disk);
    }
  }
  for (const std::string& text : c.closing) {
    if (text.starts_with(kInsertNumbered)) continue;  // answered above
    host_.screen.Then(text == kComplete ? DialogResult::kNo : DialogResult::kOk);
  }
  EXPECT_EQ(RunReconstituteOperation(ctx), OperationOutcome::kEndProgram);

  EXPECT_TRUE(host_.screen.exhausted());
  EXPECT_EQ(c.nth > 0, env.fired().has_value());
  const auto& calls = host_.screen.calls();
  ASSERT_GE(calls.size(), c.closing.size());
  for (std::size_t i = 0; i < c.closing.size(); ++i) {
    EXPECT_EQ(calls[calls.size() - c.closing.size() + i].text, c.closing[i]);
  }
  EXPECT_EQ(host_.env.FileBytes("rec.bin"), c.replaced ? source : "original");
  if (c.beside == std::string::npos) {
    EXPECT_EQ(host_.env.FileBytes(kBeside), std::nullopt);
  } else if (c.beside == kSomePrefix) {
    const std::string beside = host_.env.FileBytes(kBeside).value_or("<none>");
    EXPECT_EQ(beside, source.substr(0, beside.size()));
  } else {
    EXPECT_EQ(host_.env.FileBytes(kBeside), source.substr(0, c.beside));
  }
  EXPECT_NE(host_.out.str().find("Target Filename:   rec.bin\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Replacements, ReplacementTest,
                         ::testing::ValuesIn(kReplacements),
                         [](const auto& info) { return info.param.name; });

// A file left beside the target under the name the new one would take is
// never written over: the new one takes the next name, and is removed again
// by a rebuild cancelled before it wrote anything.
TEST_F(ReconstituteTest, AFileLeftBesideTheTargetIsKept) {
  const std::string source = MakeSet("d", {40}, 9, 2);
  host_.env.SetFile("rec.bin", "original");
  host_.env.SetFile(kBeside, "left by an earlier rebuild");
  Answer(DialogResult::kOk, "d1");
  host_.screen.Then(DialogResult::kYes).Then(DialogResult::kYes);
  host_.screen.Then(DialogResult::kCancel);
  EXPECT_EQ(RunReconstituteOperation(host_.ctx), OperationOutcome::kEndProgram);
  EXPECT_EQ(host_.env.FileBytes(kBeside), "left by an earlier rebuild");
  EXPECT_EQ(host_.env.FileBytes(kBeside + "-2"), std::nullopt);

  Answer(DialogResult::kOk, "d1");
  host_.screen.Then(DialogResult::kYes).Then(DialogResult::kYes);
  Answer(DialogResult::kOk, "d1");
  host_.screen.Then(DialogResult::kNo);
  EXPECT_EQ(RunReconstituteOperation(host_.ctx), OperationOutcome::kEndProgram);
  EXPECT_EQ(host_.env.FileBytes("rec.bin"), source);
  EXPECT_EQ(host_.env.FileBytes(kBeside), "left by an earlier rebuild");
  EXPECT_EQ(host_.env.FileBytes(kBeside + "-2"), std::nullopt);
  EXPECT_TRUE(host_.screen.exhausted());
}

TEST(ReconstituteFaultTest, ANewLocationWhoseEmptyFileWillNotCloseIsRefused) {
  FakeHost host("new.bin");
  FaultyEnv faulty(host.env);
  Context ctx{{host.screen, host.in, host.out, false}, faulty};
  host.env.AddDisk("d1", 10000);
  host.env.InsertDisk("d1");
  host.env.SetFile(InfoFilePath(host.env), "rec.bin\n0\n*\n3\n5");
  faulty.FailNth(FaultKind::kClose, 2);  // the record's close, then the new file's
  host.screen.Then(DialogResult::kOk).Then(DialogResult::kNo);  // type a location
  host.screen.Then(DialogResult::kCancel).Then(DialogResult::kNo);
  EXPECT_EQ(RunReconstituteOperation(ctx), OperationOutcome::kEndProgram);
  ASSERT_TRUE(faulty.fired());
  EXPECT_EQ(faulty.fired()->path, "new.bin");
  EXPECT_EQ(host.screen.Count(kCannotCreate), 1);
  EXPECT_TRUE(host.screen.exhausted());
}

}  // namespace
}  // namespace slicery
