#include "recovery/checked_text.h"

#include "recovery/checksum.h"

namespace slicery {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

void CheckedTextWriter::Line(std::string_view text) {
  text_ += text;
  text_ += kLineEnd;
}

std::string CheckedTextWriter::Finish() const {
  return text_ + HexOf(BlockChecksum(text_));
}

bool CheckedTextReader::Open(std::string_view bytes, std::string_view kind) {
  lines_.clear();
  next_ = 0;
  const std::size_t sum_at = bytes.rfind(kLineEnd);
  if (sum_at == std::string_view::npos) return false;
  const std::string_view body = bytes.substr(0, sum_at + kLineEnd.size());
  const std::optional<std::uint64_t> sum = ParseHex64(bytes.substr(body.size()));
  if (!sum || *sum != BlockChecksum(body)) return false;
  for (std::size_t at = 0; at < body.size();) {
    const std::size_t end = body.find(kLineEnd, at);
    lines_.push_back(body.substr(at, end - at));
    at = end + kLineEnd.size();
  }
  const std::optional<std::string_view> first = Line();
  return first && *first == kind;
}

std::optional<std::string_view> CheckedTextReader::Line() {
  if (AtEnd()) return std::nullopt;
  return lines_[next_++];
}

std::optional<std::uint64_t> CheckedTextReader::Number(std::uint64_t max) {
  const std::optional<std::string_view> line = Line();
  if (!line) return std::nullopt;
  return ParseDecimal(*line, max);
}

std::optional<std::uint64_t> ParseDecimal(std::string_view text, std::uint64_t max) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace slicery
