#include "recovery/block_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "recovery/checksum.h"

namespace slicery {
namespace {

constexpr std::uint64_t kBlock = 4096;

char ByteAt(std::uint64_t offset) {
  return static_cast<char>(offset * 31 + offset / 4093);
}

// A file of patterned bytes whose bad blocks fail to read: a read that
// reaches into one gives the bytes before it and fails. Every read is noted.
class BadSectorFile : public File {
 public:
  struct Request {
    std::uint64_t offset;
    std::size_t size;
    bool ok;
  };
  BadSectorFile(std::uint64_t length, std::vector<std::uint64_t> bad)
      : length_(length), bad_(std::move(bad)) {}

  std::size_t Read(char* buffer, std::size_t size, bool* failed) override {
    std::size_t n = 0;
    for (; n < size && pos_ + n < length_; ++n) {
      if (std::count(bad_.begin(), bad_.end(), (pos_ + n) / kBlock) > 0) break;
      buffer[n] = ByteAt(pos_ + n);
    }
    *failed = n < size && pos_ + n < length_;
    reads.push_back({pos_, size, !*failed});
    pos_ += n;
    return n;
  }
  bool Seek(std::uint64_t offset) override {
    pos_ = offset;
    return true;
  }
  bool Write(const char*, std::size_t) override { return false; }
  bool Flush() override { return true; }
  bool Sync() override { return true; }
  std::optional<std::uint64_t> Position() override { return pos_; }
  bool Truncate(std::uint64_t) override { return false; }
  bool NoSpace() const override { return false; }
  bool Close() override { return true; }
  std::optional<int> Descriptor() override { return std::nullopt; }
  std::optional<FileIdentity> Identity() override { return std::nullopt; }

  std::vector<Request> reads;

 private:
  const std::uint64_t length_;
  const std::vector<std::uint64_t> bad_;
  std::uint64_t pos_ = 0;
};

// Every block asked for comes back as the file holds it, read many at once,
// but a bad one, which comes back empty and costs no other block. Once a read
// has failed, blocks are read one at a time, with nothing read ahead. The
// same where the next blocks are read on a thread of their own.
TEST(BlockReaderTest, ABadBlockCostsItselfOnly) {
  constexpr std::uint64_t kLength = 300 * kBlock - 1000;  // the last block short
  struct Case {
    std::vector<std::uint64_t> bad, wanted;  // no blocks wanted: every one
  };
  const Case cases[] = {{{}, {}},
                        {{0}, {}},
                        {{37}, {}},
                        {{299}, {}},
                        {{5, 6}, {}},
                        {{}, {1, 2, 3, 10, 11, 299}},
                        {{11}, {1, 2, 3, 10, 11, 12, 290}}};
  for (const bool beside : {false, true}) {
    for (const Case& c : cases) {
      std::vector<std::uint64_t> wanted = c.wanted;
      if (wanted.empty()) {
        wanted.resize(300);
        std::iota(wanted.begin(), wanted.end(), 0);
      }
      const std::string where = ::testing::PrintToString(c.bad) + " of " +
                                ::testing::PrintToString(c.wanted) +
                                (beside ? " beside" : "");
      BadSectorFile file(kLength, c.bad);
      {
        BlockReader reader(file, kLength, kBlock, wanted, beside);
        for (const std::uint64_t index : wanted) {
          const BlockReader::Block block = reader.Next();
          EXPECT_EQ(block.index, index) << where;
          const bool bad = std::count(c.bad.begin(), c.bad.end(), index) > 0;
          ASSERT_EQ(block.bytes.has_value(), !bad) << where << " block " << index;
          if (!block.bytes) continue;
          const std::size_t size = std::min(kBlock, kLength - index * kBlock);
          std::string expected(size, '\0');
          for (std::size_t i = 0; i < size; ++i) expected[i] = ByteAt(index * kBlock + i);
          EXPECT_EQ(*block.bytes, expected) << where << " block " << index;
          EXPECT_EQ(block.sum, BlockChecksum(expected)) << where << " block " << index;
        }
        EXPECT_TRUE(reader.Done());
      }
      const auto failed = std::find_if(file.reads.begin(), file.reads.end(),
                                       [](const auto& read) { return !read.ok; });
      EXPECT_EQ(failed != file.reads.end(), !c.bad.empty()) << where;
      for (auto read = failed + (failed != file.reads.end()); read != file.reads.end();
           ++read) {
        EXPECT_LE(read->size, kBlock) << where << " read at " << read->offset;
      }
      if (c.bad.empty()) {
        EXPECT_LT(file.reads.size(), wanted.size()) << where;  // many blocks at once
      }
    }
  }
}

}  // namespace
}  // namespace slicery
