// The text form shared by the checksum file and the recovery record: lines
// ended by CR LF, the first naming what the file is, and a last line, with no
// line end, that holds the XXH3-64 of every byte before it. One changed byte
// anywhere makes the whole file unreadable, never half read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace slicery {

// Builds such a text line by line.
class CheckedTextWriter {
 public:
  explicit CheckedTextWriter(std::string_view kind) { Line(kind); }
  void Line(std::string_view text);
  void Number(std::uint64_t value) { Line(std::to_string(value)); }
  // The text with its checksum line.
  std::string Finish() const;

 private:
  std::string text_;
};

// Reads such a text back, field by field. Any field that is not exactly what
// it should be fails the whole reading.
class CheckedTextReader {
 public:
  // False when the bytes do not begin with `kind` or fail their checksum.
  bool Open(std::string_view bytes, std::string_view kind);
  std::optional<std::string_view> Line();
  // A decimal number of digits only, no larger than `max`.
  std::optional<std::uint64_t> Number(std::uint64_t max);
  // True once every line has been read.
  bool AtEnd() const { return next_ == lines_.size(); }

 private:
  std::vector<std::string_view> lines_;
  std::size_t next_ = 0;
};

// A decimal number of digits only, no larger than `max`.
std::optional<std::uint64_t> ParseDecimal(std::string_view text, std::uint64_t max);

}  // namespace slicery
