// The record each volume of a disk set carries, and its text form.
//
// An info file holds five fields, one per line, CR LF between them and no line
// end after the last:
//
//   <source path>
//   <disk index, from 0>
//   <continuation mark: '*' on the last volume, '+' on the others>
//   <chunk length in bytes>
//   <operation id shared by the set>
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

// Scans a whole record as "%s %d %c %d %d" and keeps the path and the id.
// Fields the scan cannot fill keep their values. Returns false when the first
// word is longer than a path may be; nothing is filled then.
bool ParseSetIdentity(std::string_view contents, std::string* source_path,
                      OperationId* operation_id);

// Skips the first line, then scans "%d %c %d %d" into the record's index, mark,
// length and id. Fields the scan cannot fill keep their values. True when all
// four were read, the id included.
bool ParseDiskInfo(std::string_view contents, DiskInfoRecord* record);

// The first line without its CR LF or LF; empty when the file is empty or the
// line is longer than a path may be.
std::string FirstLine(std::string_view contents);

}  // namespace slicery
