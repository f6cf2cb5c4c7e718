// Fails each call the host makes during a split and the reconstitution of its
// set, one call per run: no failure may pass for success, lose a byte, or
// leave a volume whose record and chunk disagree. A plain set, and a set with
// a recovery disk, read back and not.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dialog_texts.h"
#include "diskset/volume.h"
#include "fakes/faulty_env.h"
#include "fakes/memory_env.h"
#include "fakes/scripted_screen.h"
#include "menu/menu_loop.h"
#include "platform/dialog_types.h"
#include "reconstitute/reconstitute_operation.h"
#include "recovery/checksum.h"
#include "recovery/recovery_files.h"
#include "split/split_operation.h"

namespace slicery {
namespace {

using namespace texts;

constexpr FaultKind kKinds[] = {
    FaultKind::kOpen,       FaultKind::kWrite,     FaultKind::kFlush,
    FaultKind::kSync,       FaultKind::kClose,     FaultKind::kRead,
    FaultKind::kRemove,     FaultKind::kFreeSpace, FaultKind::kVolumeSync,
    FaultKind::kFolderSync,
};
constexpr std::uint32_t kTicks = 1000;
constexpr std::uint64_t kDiskSize = 1600;  // chunks of 1000 bytes
// Chunks of some 2900 bytes beside the room a recovery disk's record takes.
constexpr std::uint64_t kRecoveryDiskSize = 4000;
constexpr OperationId kOldSetId = 77;
const std::string kOldChunk(300, 'o');
constexpr std::size_t kMaxDialogs = 400;  // far more than any run shows: a loop

// What the user must have been told of a fault that hit the split; null for
// the calls whose failure the program passes over (a record read, a delete).
const char* SplitNotice(const InjectedFault& fault) {
  if (fault.path == "src.bin") {
    if (fault.kind == FaultKind::kRead) return kSourceUnreadable;
    return fault.kind == FaultKind::kOpen ? kCannotOpen : nullptr;
  }
  // What the temporary folder keeps can be computed again: a fault there
  // costs time, and is told nowhere.
  if (fault.path.starts_with(MemoryEnv::kTempFolder)) return nullptr;
  if (fault.kind == FaultKind::kFreeSpace) return kTooSmall;
  // A record that cannot be read refuses its volume like one that cannot be written.
  if (fault.kind == FaultKind::kRead) return kUnwritable;
  return fault.writing ? kUnwritable : nullptr;
}

// A ~4.5 KB split onto a disk of an older set and then blank disks, with the
// first disk offered again once, then the reconstitution of the new set to
// "out.bin"; every dialog is answered by rule.
class Scenario {
 public:
  Scenario(FaultKind kind, int nth, int recovery, bool read_back = true)
      : source_(4500, '\0'),
        recovery_(recovery),
        read_back_(read_back),
        disk_size_(recovery > 0 ? kRecoveryDiskSize : kDiskSize) {
    for (std::size_t i = 0; i < source_.size(); ++i) {
      source_[i] = static_cast<char>(i * 7 + (i >> 8));
    }
    env_.FailNth(kind, nth);
    memory_.set_tick_count(kTicks);
    memory_.SetFile("src.bin", source_);
    AddDisk("old");
    memory_.SetFile(InfoFilePath(memory_),
                    FormatDiskInfo({"old.bin", 0, '*', 300, kOldSetId}, "\r\n"));
    memory_.SetFile(DataFilePath(memory_), kOldChunk);
    memory_.InsertDisk("");
    screen_.set_fallback([this](const DialogCall& call) { return Answer(call); });
    env_.set_on_fault([this](const InjectedFault& fault) { PulledAtTheFault(fault); });
  }

  void Run() {
    splitting_ = true;
    RunPhase("src.bin\nsrc.bin\n", [](Context& ctx) { return RunSplitOperation(ctx); });
    splitting_ = false;
    split_fault_ = env_.fired();
    split_dialogs_ = screen_.calls().size();
    set_rebuilds_ = CheckSet() && CheckRecoveryDisks();
    if (!Shown(kComplete, 0, split_dialogs_)) return;
    RunPhase("out.bin\nout.bin\n",
             [](Context& ctx) { return RunReconstituteOperation(ctx); });
  }

  // The promises, after a run with the fault armed.
  void Check() {
    ASSERT_TRUE(env_.fired()) << "the run left the clean run's road before the fault";
    const std::size_t end = screen_.calls().size();
    const bool split_done = Shown(kComplete, 0, split_dialogs_);
    EXPECT_TRUE(!split_done || set_rebuilds_)
        << "a split reported complete without a good set";
    if (split_fault_) {
      // A volume file that fails to read may be a record examined before the
      // write, or a chunk or record read back after it.
      const bool read_back_told = split_fault_->kind == FaultKind::kRead &&
                                  split_fault_->path != "src.bin" &&
                                  Shown(kReadBack, 0, split_dialogs_);
      if (const char* notice = SplitNotice(*split_fault_)) {
        EXPECT_TRUE(read_back_told || Shown(notice, 0, split_dialogs_))
            << "not told: " << notice;
      }
      // With working media after the fault, only a source read ends the split.
      const bool source_failed =
          split_fault_->kind == FaultKind::kRead && split_fault_->path == "src.bin";
      EXPECT_EQ(split_done, !source_failed);
    }
    if (!split_done) return;
    const bool rebuilt = Shown(kComplete, split_dialogs_, end);
    const std::optional<std::string> out = memory_.FileBytes("out.bin");
    EXPECT_TRUE(!rebuilt || out == source_) << "reported complete, rebuilt file differs";
    EXPECT_TRUE(rebuilt ||
                (!split_fault_ && (ShownCaption("Fatal error", split_dialogs_) ||
                                   Shown(kWriteFatal, split_dialogs_, end))))
        << "the rebuild neither completed nor told of a fatal error";
    if (out) {
      EXPECT_EQ(*out, source_.substr(0, out->size())) << "partial file not a prefix";
    }
  }

  FaultyEnv& env() { return env_; }
  bool set_rebuilds() const { return set_rebuilds_; }
  std::optional<std::string> rebuilt() const { return memory_.FileBytes("out.bin"); }
  const std::string& source() const { return source_; }

 private:
  // The record, chunk and checksum file of a data disk, the record and chunk
  // of a recovery disk.
  using VolumeFiles = std::vector<std::optional<std::string>>;

  void AddDisk(const std::string& name) {
    memory_.AddDisk(name, disk_size_);
    memory_.InsertDisk(name);
    disks_.push_back(name);
  }

  template <typename Operation>
  void RunPhase(const std::string& typed, Operation operation) {
    std::istringstream in(typed);
    std::ostringstream out;
    Context ctx{{screen_, in, out, false}, env_};
    ctx.recovery_disks = recovery_;
    ctx.read_back_volumes = read_back_;
    in_ = &in;
    operation(ctx);
  }

  std::optional<DialogResult> Answer(const DialogCall& call) {
    if (screen_.calls().size() > kMaxDialogs) {
      throw ScriptExhausted("loop at: " + call.text);
    }
    const std::string& text = call.text;
    // A split asks for each data disk, numbered in a set with recovery disks,
    // then for its recovery disks.
    if (text.ends_with("(No data on disk will be overwritten.)")) {
      PullMedium();  // the older set's disk first, then blank ones
      // The third request gets the first disk again, as a person may do.
      if (++requests_ == 3) {
        memory_.InsertDisk(disks_[0]);
        return DialogResult::kOk;
      }
      if (next_disk_ == disks_.size()) AddDisk("d" + std::to_string(next_disk_));
      memory_.InsertDisk(disks_[next_disk_++]);
      return DialogResult::kOk;
    }
    if (text.find("recovery disk") != std::string::npos &&
        call.buttons == Buttons::kOkCancel) {
      if (recovery_disk_.empty()) return DialogResult::kCancel;
      memory_.InsertDisk(recovery_disk_);
      return DialogResult::kOk;
    }
    if (text == kIdentify || text.starts_with(kInsertNumbered)) {
      // Identification takes the set's last volume: any volume will do.
      const auto it =
          text == kIdentify
              ? (set_.empty() ? set_.end() : std::prev(set_.end()))
              : set_.find(std::stoi(text.substr(std::strlen(kInsertNumbered))) - 1);
      if (it == set_.end()) return DialogResult::kCancel;
      memory_.InsertDisk(it->second);
      return DialogResult::kOk;
    }
    if (text == kCannotOpen || text == kCannotCreate) {
      return in_->fail() ? DialogResult::kCancel
                         : DialogResult::kOk;  // retype while there is input
    }
    if (text.starts_with(kConfirmTarget)) return DialogResult::kNo;
    if (text == kReuse || text == kOverwrite || text == kNoRecord)
      return DialogResult::kYes;
    if (text == kComplete) PullMedium();  // the last disk is taken out too
    if (text == kAbort || text == kAnother || text == kComplete) return DialogResult::kNo;
    if (call.buttons == Buttons::kOk) {
      return DialogResult::kOk;
    }
    return std::nullopt;  // unforeseen: the screen throws
  }

  VolumeFiles Files(const std::string& disk) const {
    VolumeFiles files;
    for (const char* name : {kInfoFileName, kDataFileName, kChecksumFileName,
                             kRecoveryRecordName, kRecoveryChunkName}) {
      files.push_back(memory_.DiskFile(disk, name));
    }
    return files;
  }

  // The medium is pulled at the request for the next one: every volume that
  // has a record must keep it and its chunk.
  void PullMedium() {
    std::map<std::string, VolumeFiles> before;
    for (const std::string& disk : disks_) before[disk] = Files(disk);
    memory_.ForgetUnsynced();
    for (const auto& [disk, files] : before) {
      if (files[0] || files[3]) {
        EXPECT_EQ(Files(disk), files) << disk << " lost bytes when pulled";
      }
    }
  }

  // A disk pulled at the moment of the fault, whatever call it hit, holds a
  // checksum file of the new set only beside the chunk it describes, and none
  // while that chunk is still being read back.
  void PulledAtTheFault(const InjectedFault& fault) {
    if (recovery_ == 0 || !splitting_) return;
    const bool reading_back =
        fault.kind == FaultKind::kRead && fault.path == DataFilePath(memory_);
    for (const std::string& disk : disks_) {
      const std::optional<std::string> text =
          memory_.DurableDiskFile(disk, kChecksumFileName);
      if (!text) continue;
      const std::optional<ChunkChecksums> sums = ParseChunkChecksums(*text);
      ASSERT_TRUE(sums) << disk << " holds a damaged checksum file when pulled";
      if (sums->set_id != DrawOperationId(kTicks)) continue;
      EXPECT_FALSE(reading_back && disk == memory_.inserted())
          << disk << " holds a checksum file before its chunk read back";
      const std::string data = memory_.DurableDiskFile(disk, kDataFileName).value_or("");
      BlockSums blocks(sums->block_size, true);
      blocks.Add(data.data(), data.size());
      blocks.Finish();
      EXPECT_TRUE(sums->chunk_offset <= source_.size() &&
                  data == source_.substr(sums->chunk_offset, sums->chunk_length) &&
                  blocks.blocks() == sums->blocks)
          << disk << " holds a checksum file without its chunk when pulled";
    }
  }

  // Every record of the new set holds for its volume: the data file is exactly
  // the slice of the source after the chunks of the lower indexes. True when
  // the records run from index 0 to a '*' and rebuild the source.
  bool CheckSet() {
    std::map<int, DiskInfoRecord> records;
    for (const std::string& disk : disks_) {
      if (RecordOf(disk, kOldSetId)) {  // the older set's volume, untouched
        EXPECT_EQ(memory_.DiskFile(disk, kDataFileName), kOldChunk) << disk;
      }
      const std::optional<DiskInfoRecord> r = RecordOf(disk, DrawOperationId(kTicks));
      if (!r) continue;
      EXPECT_EQ(r->source_path, "src.bin") << disk;
      EXPECT_TRUE(records.emplace(r->disk_index, *r).second) << "index twice: " << disk;
      set_.emplace(r->disk_index, disk);
    }
    std::size_t offset = 0;
    for (int i = 0; i < static_cast<int>(records.size()); ++i) {
      const auto it = records.find(i);
      if (it == records.end()) {
        ADD_FAILURE() << "no record of index " << i;
        return false;
      }
      const std::size_t length = static_cast<std::size_t>(it->second.chunk_length);
      const std::optional<std::string> data = memory_.DiskFile(set_[i], kDataFileName);
      if (offset > source_.size() || data != source_.substr(offset, length) ||
          data->size() != length) {
        ADD_FAILURE() << set_[i] << " does not hold the chunk its record describes";
        return false;
      }
      offset += length;
      if (it->second.continuation_mark == '*') {
        return offset == source_.size() && i + 1 == static_cast<int>(records.size());
      }
    }
    return false;
  }

  // In a set with recovery disks, each recovery disk holds a record of the
  // set and a recovery chunk as long as the longest data chunk, whose blocks
  // have the record's checksums. True when every one is there.
  bool CheckRecoveryDisks() {
    if (recovery_ == 0) return true;
    std::size_t longest = 0;
    for (const auto& [index, disk] : set_)
      longest = std::max(longest, memory_.DiskFile(disk, kDataFileName)->size());
    int found = 0;
    for (const std::string& disk : disks_) {
      const std::optional<RecoveryRecord> record =
          ParseRecoveryRecord(memory_.DiskFile(disk, kRecoveryRecordName).value_or(""));
      if (!record || record->set_id != DrawOperationId(kTicks)) continue;
      const std::string chunk = memory_.DiskFile(disk, kRecoveryChunkName).value_or("");
      BlockSums sums(record->block_size, true);
      sums.Add(chunk.data(), chunk.size());
      sums.Finish();
      EXPECT_TRUE(chunk.size() == longest && sums.blocks() == record->blocks) << disk;
      recovery_disk_ = disk;
      ++found;
    }
    return found == recovery_;
  }

  // The record on `disk` when it belongs to the set `id`.
  std::optional<DiskInfoRecord> RecordOf(const std::string& disk, OperationId id) const {
    const std::optional<std::string> info =
        disk.empty() ? std::nullopt : memory_.DiskFile(disk, kInfoFileName);
    if (!info) return {};
    const std::optional<DiskInfoRecord> r =
        DecodeDiskInfo(*info, RecordReading::kWholeRecord, {});
    if (!r || r->operation_id != id) return {};
    return r;
  }

  bool Shown(const char* text, std::size_t from, std::size_t to) const {
    for (std::size_t i = from; i < to; ++i) {
      if (screen_.calls()[i].text == text) return true;
    }
    return false;
  }

  bool ShownCaption(const char* caption, std::size_t from) const {
    for (std::size_t i = from; i < screen_.calls().size(); ++i) {
      if (screen_.calls()[i].caption == caption) return true;
    }
    return false;
  }

  std::string source_;
  const int recovery_;  // recovery disks of the set
  const bool read_back_;
  const std::uint64_t disk_size_;
  std::string recovery_disk_;  // of the new set, once the split has written it
  MemoryEnv memory_;
  FaultyEnv env_{memory_};
  ScriptedScreen screen_;
  std::istringstream* in_ = nullptr;
  std::vector<std::string> disks_;
  std::size_t next_disk_ = 0;
  int requests_ = 0;
  std::map<int, std::string> set_;  // disk index -> disk of the new set
  std::optional<InjectedFault> split_fault_;
  std::size_t split_dialogs_ = 0;
  bool set_rebuilds_ = false;
  bool splitting_ = false;
};

// Runs the scenario with one fault; its checks report as the test's own.
void RunWithFault(FaultKind kind, int nth, int recovery, bool read_back) {
  SCOPED_TRACE(std::string(FaultKindName(kind)) + " call #" + std::to_string(nth));
  Scenario run(kind, nth, recovery, read_back);
  try {
    run.Run();
    run.Check();
  } catch (const ScriptExhausted& e) {
    ADD_FAILURE() << e.what();
  }
}

// The set: plain; with one recovery disk; with one, its volumes not read
// back, so that the checksum files come from the write; and with two, the
// second's chunk kept in the temporary folder while the first is written,
// read back and not.
enum class SetKind {
  kPlain,
  kRecovery,
  kRecoveryNotReadBack,
  kTwoRecoveryDisks,
  kTwoRecoveryDisksNotReadBack
};
class FaultSweepTest : public ::testing::TestWithParam<SetKind> {
 protected:
  int recovery() const {
    if (GetParam() == SetKind::kPlain) return 0;
    const bool two = GetParam() == SetKind::kTwoRecoveryDisks ||
                     GetParam() == SetKind::kTwoRecoveryDisksNotReadBack;
    return two ? 2 : 1;
  }
  bool read_back() const {
    return GetParam() != SetKind::kRecoveryNotReadBack &&
           GetParam() != SetKind::kTwoRecoveryDisksNotReadBack;
  }
};

TEST_P(FaultSweepTest, EveryFailedCallIsReportedAndNothingIsLost) {
  Scenario clean(FaultKind::kOpen, 0, recovery(), read_back());
  clean.Run();
  ASSERT_TRUE(clean.set_rebuilds());
  ASSERT_EQ(clean.rebuilt(), clean.source());

  int tried = 0;
  std::ostringstream per_kind;
  for (const FaultKind kind : kKinds) {
    const int calls = clean.env().calls(kind);
    // A recovery set's rebuild syncs its target once, flushing it nowhere.
    EXPECT_TRUE(calls > 0 || (recovery() > 0 && kind == FaultKind::kFlush))
        << "the scenario makes no " << FaultKindName(kind) << " call";
    per_kind << " " << FaultKindName(kind) << "=" << calls;
    for (int n = 1; n <= calls; ++n, ++tried)
      RunWithFault(kind, n, recovery(), read_back());
  }
  RecordProperty("faults_tried", tried);
  std::cout << "fault sweep: " << tried << " faults tried (" << per_kind.str().substr(1)
            << ")" << std::endl;
}

std::string SetName(const ::testing::TestParamInfo<SetKind>& info) {
  switch (info.param) {
    case SetKind::kPlain:
      return "PlainSet";
    case SetKind::kRecovery:
      return "RecoverySet";
    case SetKind::kRecoveryNotReadBack:
      return "RecoverySetNotReadBack";
    case SetKind::kTwoRecoveryDisks:
      return "TwoRecoveryDisks";
    case SetKind::kTwoRecoveryDisksNotReadBack:
      return "TwoRecoveryDisksNotReadBack";
  }
  return "";
}

INSTANTIATE_TEST_SUITE_P(Sets, FaultSweepTest,
                         ::testing::Values(SetKind::kPlain, SetKind::kRecovery,
                                           SetKind::kRecoveryNotReadBack,
                                           SetKind::kTwoRecoveryDisks,
                                           SetKind::kTwoRecoveryDisksNotReadBack),
                         SetName);

}  // namespace
}  // namespace slicery
