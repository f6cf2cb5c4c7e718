#include "diskset/disk_info.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace slicery {
namespace {

TEST(DrawOperationIdTest, IsTheRuntimeGeneratorsFirstDrawForTheTick) {
  EXPECT_EQ(DrawOperationId(0), 38);
  EXPECT_EQ(DrawOperationId(1), 41);
  EXPECT_EQ(DrawOperationId(1000), 3304);
  EXPECT_EQ(DrawOperationId(123456789), 13259);
  EXPECT_EQ(DrawOperationId(4294967295u), 35);
}

TEST(FormatDiskInfoTest, WritesFiveFieldsWithNoLineEndAfterTheLast) {
  DiskInfoRecord record{"X", 3, '+', 1234, 77};
  EXPECT_EQ(FormatDiskInfo(record, "\r\n"), "X\r\n3\r\n+\r\n1234\r\n77");
  record = {"C:\\DATA.BIN", 0, '*', 0, 32767};
  EXPECT_EQ(FormatDiskInfo(record, "\n"), "C:\\DATA.BIN\n0\n*\n0\n32767");
}

TEST(DecodeDiskInfoTest, AfterTheFirstLineReadsWhatItCanAndKeepsTheRest) {
  struct Case {
    std::string contents;
    DiskInfoRecord expected;  // starting from {path, 9, '?', 99, 999}
  };
  const Case cases[] = {
      {"X\r\n3\r\n+\r\n1234\r\n77", {"", 3, '+', 1234, 77}},
      {"X\n3\n*\n1234\n77", {"", 3, '*', 1234, 77}},
      {"X\n-2\n+\n2147483647\n0\n", {"", -2, '+', 2147483647, 0}},
      {"X\r\n3\r\n+\r\n1234\r\n", {"", 3, '+', 1234, 999}},
      {"X\r\n3\r\n", {"", 3, '?', 99, 999}},
      {"X\r\nabc\r\n+\r\n1\r\n2", {"", 9, '?', 99, 999}},
      {"X\r\n3\r\n+\r\n2147483648\r\n2", {"", 3, '+', 99, 999}},
      {"only a first line", {"", 9, '?', 99, 999}},
      {"", {"", 9, '?', 99, 999}},
      {std::string(300, 'p') + "\n4\n*\n5\n6", {"", 4, '*', 5, 6}},
  };
  for (const Case& c : cases) {
    const std::optional<DiskInfoRecord> decoded = DecodeDiskInfo(
        c.contents, RecordReading::kAfterFirstLine, {"kept", 9, '?', 99, 999});
    ASSERT_TRUE(decoded) << c.contents;
    const DiskInfoRecord& record = *decoded;
    EXPECT_EQ(record.source_path, "kept") << c.contents;
    EXPECT_EQ(record.disk_index, c.expected.disk_index) << c.contents;
    EXPECT_EQ(record.continuation_mark, c.expected.continuation_mark) << c.contents;
    EXPECT_EQ(record.chunk_length, c.expected.chunk_length) << c.contents;
    EXPECT_EQ(record.operation_id, c.expected.operation_id) << c.contents;
  }
}

TEST(DecodeDiskInfoTest, TheWholeRecordGivesEveryFieldOfAScanFromTheStart) {
  const auto whole = [](std::string_view bytes, DiskInfoRecord unfilled) {
    return DecodeDiskInfo(bytes, RecordReading::kWholeRecord, std::move(unfilled));
  };
  std::optional<DiskInfoRecord> r = whole("C:\\F.BIN\r\n2\r\n+\r\n100\r\n321", {});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->source_path, "C:\\F.BIN");
  EXPECT_EQ(r->disk_index, 2);
  EXPECT_EQ(r->continuation_mark, '+');
  EXPECT_EQ(r->chunk_length, 100);
  EXPECT_EQ(r->operation_id, 321);

  // A scan that stops leaves that field and the ones after it as they were.
  r = whole("NEW\n2\n+\nxyz\n321", {"old", 9, '?', 99, 5});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->source_path, "NEW");
  EXPECT_EQ(r->continuation_mark, '+');
  EXPECT_EQ(r->chunk_length, 99);
  EXPECT_EQ(r->operation_id, 5);
  r = whole("", {"old", 9, '?', 99, 5});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->source_path, "old");
  EXPECT_EQ(r->operation_id, 5);

  // A first word of 259 characters is a path; one more is no record at all.
  r = whole(std::string(259, 'p') + "\n0\n*\n0\n7", {});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->source_path, std::string(259, 'p'));
  EXPECT_EQ(r->operation_id, 7);
  EXPECT_FALSE(whole(std::string(260, 'q') + "\n0\n*\n0\n8", {}));
}

TEST(FirstLineTest, DropsTheLineEndAndRefusesWhatCannotBeAPath) {
  EXPECT_EQ(FirstLine("C:\\F.BIN\r\n0"), "C:\\F.BIN");
  EXPECT_EQ(FirstLine("f.bin\n0"), "f.bin");
  EXPECT_EQ(FirstLine("no line end"), "no line end");
  EXPECT_EQ(FirstLine(""), "");
  EXPECT_EQ(FirstLine(std::string(259, 'p')), std::string(259, 'p'));
  EXPECT_EQ(FirstLine(std::string(260, 'p') + "\r\n"), "");
  EXPECT_EQ(FirstLine(std::string("a\0b\n", 4)), "a");
}

}  // namespace
}  // namespace slicery
