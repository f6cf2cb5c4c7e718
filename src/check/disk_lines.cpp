#include "check/disk_lines.h"

#include <algorithm>
#include <cctype>
#include <ostream>
#include <vector>

#include "operation/disk_request.h"
#include "recovery/chunk_scan.h"
#include "recovery/recovery_files.h"
#include "ui/console.h"
#include "ui/dialog.h"

namespace slicery {
namespace {

constexpr std::size_t kReadSize = 1024 * 1024;

std::string Number(std::size_t index) { return std::to_string(index + 1); }

std::string BadBlocks(std::uint64_t bad, std::uint64_t total) {
  return std::to_string(bad) + (bad == 1 ? " bad block of " : " bad blocks of ") +
         std::to_string(total);
}

// What a disk's console line ends in.
std::string StateText(const CheckedDisk& disk, bool plain, std::uint64_t block_size) {
  using State = CheckedDisk::State;
  const std::uint64_t total =
      block_size == 0 ? 0 : BlocksIn(disk.blocks.length, block_size);
  std::string text;
  switch (disk.state) {
    case State::kGood:
      text = plain ? std::to_string(disk.bytes_read) + " bytes, as recorded" : "good";
      break;
    case State::kBadBlocks:
      text = BadBlocks(disk.blocks.all_bad ? total : disk.blocks.bad.size(), total);
      break;
    case State::kNoChecksums:
      text = "unreadable checksums";
      break;
    case State::kMissing:
      text = "missing";
      break;
    case State::kWrongLength:
      text = std::to_string(disk.bytes_read) + " bytes, its record says " +
             std::to_string(disk.blocks.length);
      break;
    case State::kUnreadable:
      text = "read error after " + std::to_string(disk.bytes_read) + " bytes";
      break;
  }
  if (disk.longer) text += "; its data file goes on past its chunk";
  if (disk.record_damaged) text += "; its record is damaged";
  return text;
}

// Whether to go on reading a disk that keeps failing to.
bool KeepReading(Context& ctx, const std::string& name) {
  std::string text = name + " keeps failing to read: " + std::to_string(kFailuresInARow) +
                     " blocks in a row could not be read.\nDo you want to stop reading "
                     "it? Its blocks not read yet will count as bad.";
  text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return ShowDialog(ctx, text, "Slicery", Buttons::kYesNo, Icon::kQuestion) !=
         DialogResult::kYes;
}

}  // namespace

void ScanDisk(Context& ctx, const std::string& name, File& file, std::uint64_t block_size,
              const std::vector<std::uint64_t>& sums, bool own_sums, ProgressMeter& meter,
              const std::function<void(std::uint64_t, std::string_view)>& take,
              CheckedDisk* disk) {
  const ChunkScan scan = ScanChunk(
      file, disk->blocks.length, block_size, &sums,
      [&](std::uint64_t block, std::string_view bytes) {
        take(block, bytes);
        return true;
      },
      [&] { return KeepReading(ctx, name); }, meter, ctx.env.FilesAcrossThreads());
  // A disk none of whose blocks is good is kept as that, not block by block:
  // the memory stays small for any set.
  disk->blocks.all_bad = !scan.bad.empty() && scan.bad.size() == sums.size();
  for (std::size_t i = 0; i < scan.bad.size() && !disk->blocks.all_bad; ++i) {
    disk->blocks.bad.push_back(
        {scan.bad[i], own_sums ? std::optional(sums[scan.bad[i]]) : std::nullopt});
  }
  disk->state =
      scan.bad.empty() ? CheckedDisk::State::kGood : CheckedDisk::State::kBadBlocks;
  char extra;
  bool failed = false;
  disk->longer =
      file.Seek(disk->blocks.length) && file.Read(&extra, 1, &failed) == 1 && !failed;
}

std::string DiskName(bool recovery, std::size_t index) {
  return recovery ? RecoveryDiskName(static_cast<int>(index))
                  : DiskName(static_cast<std::int32_t>(index));
}

std::string LineLabel(bool recovery, std::size_t index) {
  return (recovery ? "Recovery disk #" : "Disk #") + Number(index);
}

void EndDiskLine(Context& ctx, ProgressMeter& meter, const CheckedDisk& disk, bool plain,
                 std::uint64_t block_size) {
  // An empty chunk is read at once: all of it, 25 dots.
  std::uint64_t dots = 0;
  if (disk.blocks.length == 0) DrawDotsDue(meter, 1, 1, &dots);
  meter.Finish();
  ctx.out << StateText(disk, plain, block_size);
  EndLine(ctx);
}

bool GoWithout(Context& ctx, const std::string& name) {
  return ShowDialog(ctx,
                    "Do you want to go on without " + name +
                        "?\nThe check will count it as missing.",
                    "Slicery", Buttons::kYesNo, Icon::kQuestion) == DialogResult::kYes;
}

std::uint64_t ReadThrough(File& data, std::uint64_t length, ProgressMeter& meter,
                          bool* failed) {
  std::vector<char> buffer(kReadSize);
  std::uint64_t done = 0, dots = 0;
  for (;;) {
    const std::size_t got = data.Read(buffer.data(), buffer.size(), failed);
    done += got;
    DrawDotsDue(meter, std::min(done, length), length, &dots);
    if (got < buffer.size() || *failed) return done;
  }
}

}  // namespace slicery
