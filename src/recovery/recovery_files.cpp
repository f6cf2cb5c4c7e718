#include "recovery/recovery_files.h"

#include <algorithm>
#include <limits>

#include "recovery/checked_text.h"
#include "recovery/stripe_codec.h"

namespace slicery {
namespace {

constexpr char kChecksumKind[] = "SLICERY CHECKSUMS 1";
constexpr char kRecordKind[] = "SLICERY RECOVERY 1";
constexpr std::uint64_t kAny = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kMaxId = 32767;
// Lines of fixed fields: a line of 20 digits and its line end each, and the
// kind and checksum lines.
constexpr std::uint64_t kFixedPart = 12 * 22 + 2 * 34;
constexpr std::uint64_t kBlockLine = 16 + 2;
constexpr std::uint64_t kChunkLine = 20 + 1 + 20 + 1 + 16 + 2;

void AddBlocks(CheckedTextWriter& text, const std::vector<std::uint64_t>& blocks) {
  for (const std::uint64_t block : blocks) text.Line(HexOf(block));
}

// `count` block checksums, then the end of the text.
bool ReadBlocks(CheckedTextReader& text, std::uint64_t count,
                std::vector<std::uint64_t>* blocks) {
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::optional<std::string_view> line = text.Line();
    const std::optional<std::uint64_t> sum = line ? ParseHex64(*line) : std::nullopt;
    if (!sum) return false;
    blocks->push_back(*sum);
  }
  return text.AtEnd();
}

}  // namespace

std::string FormatChunkEntry(const ChunkEntry& chunk) {
  return std::to_string(chunk.offset) + ' ' + std::to_string(chunk.length) + ' ' +
         HexOf(chunk.checksum);
}

std::optional<ChunkEntry> ParseChunkEntry(std::string_view line) {
  const std::size_t first = line.find(' ');
  const std::size_t second = line.find(' ', first + 1);
  if (first == std::string_view::npos || second == std::string_view::npos)
    return std::nullopt;
  const std::optional<std::uint64_t> offset = ParseDecimal(line.substr(0, first), kAny);
  const std::optional<std::uint64_t> length =
      ParseDecimal(line.substr(first + 1, second - first - 1), kAny);
  const std::optional<std::uint64_t> sum = ParseHex64(line.substr(second + 1));
  if (!offset || !length || !sum) return std::nullopt;
  return ChunkEntry{*offset, *length, *sum};
}

std::uint64_t BlocksIn(std::uint64_t length, std::uint64_t block_size) {
  return length / block_size + (length % block_size != 0);
}

std::uint64_t ChooseBlockSize(std::uint64_t budget) {
  std::uint64_t size = kMinBlockSize;
  while (BlocksIn(budget, size) > kMaxBlocksPerBudget) size *= 2;
  return size;
}

std::uint64_t ChecksumFileBound(std::uint64_t blocks) {
  return kFixedPart + blocks * kBlockLine;
}

std::uint64_t RecoveryRecordBound(std::size_t path_length, std::uint64_t disks,
                                  std::uint64_t blocks) {
  return kFixedPart + path_length + 2 + disks * kChunkLine + blocks * kBlockLine;
}

std::string FormatChunkChecksums(const ChunkChecksums& sums) {
  CheckedTextWriter text(kChecksumKind);
  text.Number(static_cast<std::uint64_t>(sums.set_id));
  text.Number(static_cast<std::uint64_t>(sums.disk_index));
  text.Number(sums.chunk_offset);
  text.Number(sums.chunk_length);
  text.Number(sums.file_length);
  text.Number(static_cast<std::uint64_t>(sums.recovery_disks));
  text.Number(sums.block_size);
  AddBlocks(text, sums.blocks);
  return text.Finish();
}

std::optional<ChunkChecksums> ParseChunkChecksums(std::string_view bytes) {
  CheckedTextReader text;
  if (!text.Open(bytes, kChecksumKind)) return std::nullopt;
  const auto id = text.Number(kMaxId);
  const auto index = text.Number(2147483647);
  const auto offset = text.Number(kAny);
  const auto length = text.Number(kAny);
  const auto file_length = text.Number(kAny);
  const auto recovery = text.Number(kMaxRecoveryDisks);
  const auto block_size = text.Number(kAny);
  if (!id || !index || !offset || !length || !file_length || !recovery || !block_size ||
      *block_size == 0 || *recovery == 0) {
    return std::nullopt;
  }
  ChunkChecksums sums{static_cast<OperationId>(*id),
                      static_cast<std::int32_t>(*index),
                      *offset,
                      *length,
                      *file_length,
                      static_cast<std::int32_t>(*recovery),
                      *block_size,
                      {}};
  if (!ReadBlocks(text, BlocksIn(*length, *block_size), &sums.blocks))
    return std::nullopt;
  return sums;
}

std::string FormatRecoveryRecord(const RecoveryRecord& record) {
  CheckedTextWriter text(kRecordKind);
  text.Line(record.source_path);
  text.Number(static_cast<std::uint64_t>(record.set_id));
  text.Number(static_cast<std::uint64_t>(record.recovery_index));
  text.Number(static_cast<std::uint64_t>(record.recovery_disks));
  text.Number(record.block_size);
  text.Number(record.file_length);
  text.Line(HexOf(record.file_checksum));
  text.Number(record.chunks.size());
  for (const ChunkEntry& chunk : record.chunks) text.Line(FormatChunkEntry(chunk));
  AddBlocks(text, record.blocks);
  return text.Finish();
}

namespace {

// The chunk list of a record: `count` entries.
bool ReadChunks(CheckedTextReader& text, std::uint64_t count,
                std::vector<ChunkEntry>* chunks) {
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::optional<std::string_view> line = text.Line();
    const std::optional<ChunkEntry> entry = line ? ParseChunkEntry(*line) : std::nullopt;
    if (!entry) return false;
    chunks->push_back(*entry);
  }
  return true;
}

// The recovery chunk is as long as the longest data chunk.
std::uint64_t LongestChunk(const std::vector<ChunkEntry>& chunks) {
  std::uint64_t longest = 0;
  for (const ChunkEntry& chunk : chunks) longest = std::max(longest, chunk.length);
  return longest;
}

}  // namespace

std::optional<RecoveryRecord> ParseRecoveryRecord(std::string_view bytes) {
  CheckedTextReader text;
  if (!text.Open(bytes, kRecordKind)) return std::nullopt;
  RecoveryRecord record;
  const std::optional<std::string_view> path = text.Line();
  const auto id = text.Number(kMaxId);
  const auto index = text.Number(kMaxRecoveryDisks - 1);
  const auto recovery = text.Number(kMaxRecoveryDisks);
  const auto block_size = text.Number(kAny);
  const auto file_length = text.Number(kAny);
  const std::optional<std::string_view> file_sum = text.Line();
  const std::optional<FileChecksum> checksum =
      file_sum ? ParseHex128(*file_sum) : std::nullopt;
  const auto count = text.Number(kMaxStripeBlocks - 1);
  if (!path || !id || !index || !recovery || !block_size || !file_length || !checksum ||
      !count || *block_size == 0 || *index >= *recovery || *count == 0 ||
      *count + *recovery > kMaxStripeBlocks) {
    return std::nullopt;
  }
  record.source_path = std::string(*path);
  record.set_id = static_cast<OperationId>(*id);
  record.recovery_index = static_cast<std::int32_t>(*index);
  record.recovery_disks = static_cast<std::int32_t>(*recovery);
  record.block_size = *block_size;
  record.file_length = *file_length;
  record.file_checksum = *checksum;
  if (!ReadChunks(text, *count, &record.chunks)) return std::nullopt;
  const std::uint64_t blocks = BlocksIn(LongestChunk(record.chunks), *block_size);
  if (!ReadBlocks(text, blocks, &record.blocks)) return std::nullopt;
  return record;
}

}  // namespace slicery
