#include "diskset/disk_info.h"

#include <limits>

#include "platform/text.h"

namespace slicery {
namespace {

// Paths are C strings: whatever follows an embedded NUL is not part of them.
std::string AsPath(std::string_view bytes) {
  return std::string(bytes.substr(0, bytes.find('\0')));
}

// Reads the text the way the runtime's scan directives do.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  void SkipSpace() {
    while (pos_ < text_.size() && IsWhiteSpace(text_[pos_])) ++pos_;
  }

  // "%s": a run of non-blank characters. Fails at the end of the text.
  bool Word(std::string_view* word) {
    SkipSpace();
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !IsWhiteSpace(text_[pos_])) ++pos_;
    *word = text_.substr(start, pos_ - start);
    return pos_ > start;
  }

  // " %c": the next non-blank character.
  bool Char(char* c) {
    SkipSpace();
    if (pos_ >= text_.size()) return false;
    *c = text_[pos_++];
    return true;
  }

  // "%d": an optionally signed decimal that fits 32 bits.
  bool Int(std::int32_t* value) {
    SkipSpace();
    std::size_t p = pos_;
    const bool negative = p < text_.size() && text_[p] == '-';
    if (p < text_.size() && (text_[p] == '-' || text_[p] == '+')) ++p;
    const std::size_t digits = p;
    std::int64_t magnitude = 0;
    while (p < text_.size() && text_[p] >= '0' && text_[p] <= '9') {
      magnitude = magnitude * 10 + (text_[p] - '0');
      if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
        return false;
      }
      ++p;
    }
    if (p == digits) return false;
    const std::int64_t signed_value = negative ? -magnitude : magnitude;
    if (signed_value > std::numeric_limits<std::int32_t>::max()) return false;
    *value = static_cast<std::int32_t>(signed_value);
    pos_ = p;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// True when the id, the last of the four, was read.
bool ScanIndexMarkLengthId(Scanner& scan, DiskInfoRecord* record) {
  std::int32_t value = 0;
  if (!scan.Int(&value)) return false;
  record->disk_index = value;
  if (!scan.Char(&record->continuation_mark)) return false;
  if (!scan.Int(&value)) return false;
  record->chunk_length = value;
  if (!scan.Int(&value)) return false;
  record->operation_id = value;
  return true;
}

}  // namespace

OperationId DrawOperationId(std::uint32_t tick_count) {
  const std::uint32_t state = tick_count * 214013u + 2531011u;
  return static_cast<OperationId>((state >> 16) & 0x7FFF);
}

std::string FormatDiskInfo(const DiskInfoRecord& record, std::string_view line_end) {
  std::string text = record.source_path;
  text.append(line_end).append(std::to_string(record.disk_index)).append(line_end);
  text.push_back(record.continuation_mark);
  text.append(line_end).append(std::to_string(record.chunk_length)).append(line_end);
  text.append(std::to_string(record.operation_id));
  return text;
}

bool ParseSetIdentity(std::string_view contents, std::string* source_path,
                      OperationId* operation_id) {
  Scanner scan(contents);
  std::string_view word;
  if (!scan.Word(&word)) return true;
  if (word.size() > kMaxPathLength) return false;
  *source_path = AsPath(word);
  DiskInfoRecord rest;
  rest.operation_id = *operation_id;
  ScanIndexMarkLengthId(scan, &rest);
  *operation_id = rest.operation_id;
  return true;
}

bool ParseDiskInfo(std::string_view contents, DiskInfoRecord* record) {
  const std::size_t line_end = contents.find('\n');
  if (line_end == std::string_view::npos) return false;
  Scanner scan(contents.substr(line_end + 1));
  return ScanIndexMarkLengthId(scan, record);
}

std::string FirstLine(std::string_view contents) {
  std::string_view line = contents.substr(0, contents.find('\n'));
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() > kMaxPathLength) return {};
  return AsPath(line);
}

}  // namespace slicery
