// The record each volume of a disk set carries, and its text form.
//
// FormatDiskInfo puts the five fields on five lines, the line end given between
// them and none after the last. The readers take back every record the split
// writes (its path is one typed word), with CR LF or LF line ends, on either
// host. Any other bytes are read without harm: a field they do not supply keeps
// the value it is given, and a path longer than kMaxPathLength is refused,
// never shortened.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace slicery {

// Ties the volumes of one set together: 0 to 32767, drawn once per split.
using OperationId = std::int32_t;

struct DiskInfoRecord {
  std::string source_path;
  std::int32_t disk_index = 0;
  char continuation_mark = '\0';
  std::int32_t chunk_length = 0;
  OperationId operation_id = 0;
};

// The runtime's linear congruential draw seeded with `tick_count`: one step of
// state * 214013 + 2531011 (mod 2^32), then bits 16 to 30 of the new state.
OperationId DrawOperationId(std::uint32_t tick_count);

// The bytes of an info file for `record`, with `line_end` between fields.
std::string FormatDiskInfo(const DiskInfoRecord& record, std::string_view line_end);

// The two ways a record is read. A record this program wrote reads the same
// either way; they differ only on bytes from elsewhere.
enum class RecordReading {
  // From the start: the path as the first word, then index, mark, length and
  // id in turn. What identifies the set a volume belongs to.
  kWholeRecord,
  // The first line skipped whatever it holds, then index, mark, length and id.
  // The path is not read. What places a volume within its set.
  kAfterFirstLine,
};

// The record held by an info file's bytes.
//
// The keep-previous-values rule lives here: the fields are read in file
// order, and the first field the bytes cannot supply ends the reading, so it
// and every field after it keep their values in `unfilled`. A caller that
// reads volume after volume into one record therefore sees a damaged field
// keep the previous volume's value.
//
// Empty when the first word is longer than a path may be: such bytes are no
// record of this program's, and nothing is taken from them.
std::optional<DiskInfoRecord> DecodeDiskInfo(std::string_view bytes,
                                             RecordReading reading,
                                             DiskInfoRecord unfilled);

// The first line without its CR LF or LF; empty when the file is empty or the
// line is longer than a path may be.
std::string FirstLine(std::string_view contents);

}  // namespace slicery
