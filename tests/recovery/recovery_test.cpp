#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "recovery/checked_text.h"
#include "recovery/checksum.h"
#include "recovery/recovery_files.h"
#include "recovery/stripe_codec.h"

namespace slicery {
namespace {

// Every pattern of up to N lost blocks in a stripe of k data blocks and N
// recovery blocks comes back byte for byte; one more lost is refused. The last
// data chunk is shorter than the others: its block counts as zero-padded.
TEST(StripeCodecTest, RebuildsEveryPatternOfUpToNLostBlocks) {
  struct Case {
    int data, recovery;
  };
  const Case cases[] = {{1, 1}, {2, 1}, {3, 2}, {4, 3}, {5, 2}};
  constexpr std::size_t kLength = 61, kShortLast = 23;
  for (const Case& c : cases) {
    const StripeCodec codec(c.data, c.recovery);
    const int total = c.data + c.recovery;
    std::vector<std::vector<unsigned char>> original(total,
                                                     std::vector<unsigned char>(kLength));
    for (int d = 0; d < c.data; ++d) {
      const std::size_t used = d == c.data - 1 ? kShortLast : kLength;
      for (std::size_t i = 0; i < used; ++i)
        original[d][i] = (d * 131 + i * 7 + 1) & 0xFF;
    }
    std::vector<unsigned char*> data;
    for (int d = 0; d < c.data; ++d) data.push_back(original[d].data());
    for (int r = 0; r < c.recovery; ++r) {
      codec.Encode(kLength, data.data(), r, original[c.data + r].data());
    }
    for (unsigned pattern = 1; pattern < (1u << total); ++pattern) {
      const int lost_count = std::popcount(pattern);
      std::vector<std::vector<unsigned char>> blocks = original;
      std::vector<unsigned char*> pointers;
      std::vector<bool> lost(total);
      for (int b = 0; b < total; ++b) {
        lost[b] = (pattern >> b) & 1;
        if (lost[b]) blocks[b].assign(kLength, 0xEE);
        pointers.push_back(blocks[b].data());
      }
      const bool rebuilt = codec.Rebuild(kLength, pointers.data(), lost);
      const std::string where = std::to_string(c.data) + "+" +
                                std::to_string(c.recovery) + " lost " +
                                std::to_string(pattern);
      EXPECT_EQ(rebuilt, lost_count <= c.recovery) << where;
      if (rebuilt) {
        EXPECT_EQ(blocks, original) << where;
      }
    }
  }
}

// The recovery bytes of a stripe are the same on every host and build (ISA-L's
// optimised code on Linux, its portable C on Windows): a set written on one
// rebuilds on the other. Rows computed together in one pass are the same
// bytes as rows computed one at a time.
TEST(StripeCodecTest, RecoveryBytesAreFixed) {
  const StripeCodec codec(4, 2);
  std::vector<std::vector<unsigned char>> data(4, std::vector<unsigned char>(100));
  std::vector<unsigned char*> blocks;
  for (int d = 0; d < 4; ++d) {
    for (int i = 0; i < 100; ++i)
      data[d][i] = static_cast<unsigned char>(d * 37 + i * 11);
    blocks.push_back(data[d].data());
  }
  std::string parity;
  for (int r = 0; r < 2; ++r) {
    std::vector<unsigned char> out(100);
    codec.Encode(out.size(), blocks.data(), r, out.data());
    parity.append(out.begin(), out.end());
  }
  EXPECT_EQ(HexOf(BlockChecksum(parity)), "7007324473ced7a0");
  std::vector<unsigned char> together(200);
  unsigned char* outs[] = {together.data(), together.data() + 100};
  codec.EncodeRows(100, blocks.data(), 0, 2, outs);
  EXPECT_EQ(std::string(together.begin(), together.end()), parity);
}

ChunkChecksums SampleChecksums() {
  return {1234,  7, 10000, 9000,
          70000, 2, 4096,  {1, 0xFFFFFFFFFFFFFFFF, 0x0123456789abcdef}};
}

RecoveryRecord SampleRecord() {
  return {"/home/u/DATA.BIN",
          32767,
          1,
          2,
          4096,
          12300,
          {0xFEDCBA9876543210, 42},
          {{0, 9000, 5}, {9000, 3300, 0xABC}},
          {11, 12, 13}};
}

// The two files read back as written, with CR LF lines, and any one byte
// changed makes them unreadable. Fields that disagree with one another are
// refused even under a good checksum.
TEST(RecoveryFilesTest, RoundTripsAndRefusesEveryDamagedByte) {
  const ChunkChecksums sums = SampleChecksums();
  const std::string sums_text = FormatChunkChecksums(sums);
  EXPECT_EQ(sums_text.find('\n'), sums_text.find("\r\n") + 1);
  EXPECT_EQ(ParseChunkChecksums(sums_text), sums);
  EXPECT_LE(sums_text.size(), ChecksumFileBound(sums.blocks.size()));

  const RecoveryRecord record = SampleRecord();
  const std::string record_text = FormatRecoveryRecord(record);
  EXPECT_EQ(ParseRecoveryRecord(record_text), record);
  EXPECT_LE(record_text.size(),
            RecoveryRecordBound(record.source_path.size(), 2, record.blocks.size()));

  for (std::size_t at = 0; at < sums_text.size(); ++at) {
    std::string damaged = sums_text;
    damaged[at] ^= 0x01;
    EXPECT_FALSE(ParseChunkChecksums(damaged)) << at;
  }
  for (std::size_t at = 0; at < record_text.size(); ++at) {
    std::string damaged = record_text;
    damaged[at] ^= 0x20;
    EXPECT_FALSE(ParseRecoveryRecord(damaged)) << at;
  }
  EXPECT_FALSE(ParseChunkChecksums(sums_text.substr(0, sums_text.size() - 1)));
  EXPECT_FALSE(ParseRecoveryRecord(""));
  EXPECT_FALSE(ParseChunkChecksums(record_text));

  // Written line by line as the program does, then with one line too many.
  CheckedTextWriter text("SLICERY CHECKSUMS 1");
  for (const std::uint64_t field : {1234, 7, 10000, 9000, 70000, 2, 4096})
    text.Number(field);
  for (const std::uint64_t block : sums.blocks) text.Line(HexOf(block));
  EXPECT_EQ(text.Finish(), sums_text);
  text.Line(HexOf(sums.blocks.back()));
  EXPECT_FALSE(ParseChunkChecksums(text.Finish()));

  ChunkChecksums too_few = sums;
  too_few.blocks.pop_back();  // 9000 bytes take three blocks of 4096
  EXPECT_FALSE(ParseChunkChecksums(FormatChunkChecksums(too_few)));
}

TEST(RecoveryFilesTest, BlockSizeKeepsChecksumsUnderOnePercent) {
  struct Case {
    std::uint64_t budget, block_size;
  };
  const Case cases[] = {{1456500, 4096},
                        {16 * 1024 * 1024, 4096},
                        {16 * 1024 * 1024 + 1, 8192},
                        {256ull << 20, 65536},
                        {2147483647, 524288}};
  for (const Case& c : cases) {
    const std::uint64_t size = ChooseBlockSize(c.budget);
    EXPECT_EQ(size, c.block_size) << c.budget;
    EXPECT_LT(ChecksumFileBound(BlocksIn(c.budget, size)) * 100, c.budget) << c.budget;
  }
}

}  // namespace
}  // namespace slicery
