// Arbitrary bytes through the record parsers (the recovery files' among
// them) and the console readers. Rules:
// no crash and no access out of bounds (the sanitizers watch), fields the bytes
// do not supply keep their earlier values, nothing over 259 characters comes
// out as a path, and a dialog answers only with a button it offers.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "diskset/disk_info.h"
#include "platform/console_screen.h"
#include "platform/dialog_types.h"
#include "recovery/recovery_files.h"
#include "ui/console.h"

namespace slicery {
namespace {

// A broken rule is a finding: abort, and libFuzzer keeps the input.
void Require(bool rule, const char* what) {
  if (rule) return;
  std::fprintf(stderr, "rule broken: %s\n", what);
  std::abort();
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

// A plain run of at most 9 digits: a number any "%d" reads the same way.
std::optional<std::int32_t> PlainNumber(std::string_view word) {
  if (word.empty() || word.size() > 9) return std::nullopt;
  std::int32_t value = 0;
  const auto [end, error] =
      std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc() || end != word.data() + word.size()) return std::nullopt;
  return value;
}

void CheckSetIdentity(std::string_view bytes) {
  const std::optional<DiskInfoRecord> a =
      DecodeDiskInfo(bytes, RecordReading::kWholeRecord, {"start-a", 0, 'a', 0, 111});
  const std::optional<DiskInfoRecord> b =
      DecodeDiskInfo(bytes, RecordReading::kWholeRecord, {"start-b", 0, 'b', 0, 222});
  const bool parsed_a = a.has_value(), parsed_b = b.has_value();
  const std::string path_a = a ? a->source_path : "start-a";
  const std::string path_b = b ? b->source_path : "start-b";
  const OperationId id_a = a ? a->operation_id : 111;
  const OperationId id_b = b ? b->operation_id : 222;
  Require(parsed_a == parsed_b, "identity: result depends on earlier values");
  Require(path_a.size() <= kMaxPathLength, "identity: path over 259 characters");
  Require(id_a == id_b || (id_a == 111 && id_b == 222), "identity: id half filled");
  const std::vector<std::string_view> words = Words(bytes);
  const bool too_long = !words.empty() && words[0].size() > kMaxPathLength;
  Require(parsed_a == !too_long, "identity: a first word over 259 not refused");
  if (words.empty() || too_long) {
    Require(path_a == "start-a" && path_b == "start-b" && id_a == 111,
            "identity: filled from nothing");
    return;
  }
  Require(path_a == path_b && path_a == words[0].substr(0, words[0].find('\0')),
          "identity: path is not the first word");
  // Three numbers need three digits; five plain fields are read as such.
  const std::string_view rest =
      bytes.substr(words[0].data() + words[0].size() - bytes.data());
  std::size_t digits = 0;
  for (char c : rest) digits += IsDigit(c);
  if (digits < 3) Require(id_a == 111, "identity: id from fewer than three numbers");
  if (words.size() >= 5 && PlainNumber(words[1]) && words[2].size() == 1 &&
      PlainNumber(words[3]) && PlainNumber(words[4])) {
    Require(id_a == *PlainNumber(words[4]), "identity: plain id not read");
  }
}

void CheckDiskInfo(std::string_view bytes) {
  const std::optional<DiskInfoRecord> decoded_a = DecodeDiskInfo(
      bytes, RecordReading::kAfterFirstLine, {"keep-a", 111, 'a', 333, 444});
  const std::optional<DiskInfoRecord> decoded_b = DecodeDiskInfo(
      bytes, RecordReading::kAfterFirstLine, {"keep-b", 222, 'b', 555, 666});
  Require(decoded_a && decoded_b, "info: refused without reading the path");
  const DiskInfoRecord& a = *decoded_a;
  const DiskInfoRecord& b = *decoded_b;
  // The id is read exactly when the two ids, different before, agree after.
  const bool whole = a.operation_id == b.operation_id;
  Require(a.source_path == "keep-a" && b.source_path == "keep-b", "info: path touched");
  // A field is filled exactly when both parses agree on it; one not filled
  // keeps its earlier value. The scan fills index, mark, length and id in order.
  const auto filled = [](auto value_a, auto value_b, auto start_a, auto start_b) {
    Require(value_a == value_b || (value_a == start_a && value_b == start_b),
            "info: a field depends on its earlier value");
    return value_a == value_b;
  };
  const bool index = filled(a.disk_index, b.disk_index, 111, 222);
  const bool mark = filled(a.continuation_mark, b.continuation_mark, 'a', 'b');
  const bool length = filled(a.chunk_length, b.chunk_length, 333, 555);
  const bool id = filled(a.operation_id, b.operation_id, 444, 666);
  Require((!id || length) && (!length || mark) && (!mark || index), "info: out of order");
  Require(whole == id, "info: a whole record not told from a cut one");
  // The index and the mark after a plain number, by the model.
  const std::size_t line_end = bytes.find('\n');
  if (line_end == std::string_view::npos) {
    Require(!index, "info: filled without a second line");
    return;
  }
  std::size_t i = line_end + 1;
  while (i < bytes.size() && IsBlank(bytes[i])) ++i;
  std::size_t end = i;
  while (end < bytes.size() && IsDigit(bytes[end])) ++end;
  const std::optional<std::int32_t> number = PlainNumber(bytes.substr(i, end - i));
  if (i == bytes.size() || (!number && end == i && bytes[i] != '-' && bytes[i] != '+')) {
    Require(!index, "info: index from no number");
  }
  if (!number) return;
  Require(index && a.disk_index == *number, "info: plain index not read");
  while (end < bytes.size() && IsBlank(bytes[end])) ++end;
  Require(end < bytes.size() ? mark && a.continuation_mark == bytes[end] : !mark,
          "info: mark is not the next character");
}

void CheckFirstLine(std::string_view bytes) {
  const std::string line = FirstLine(bytes);
  Require(line.size() <= kMaxPathLength, "first line over 259 characters");
  Require(bytes.substr(0, line.size()) == line, "first line not from the start");
  Require(line.find('\n') == std::string::npos, "first line holds a line end");
  std::string_view raw = bytes.substr(0, bytes.find('\n'));
  if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
  if (raw.size() <= kMaxPathLength && raw.find('\0') == std::string_view::npos) {
    Require(line == raw, "first line cut or changed");
  }
}

// What each typed word read should give, by the model: a word and the rest of
// its line, refused when the word is too long or the rest holds another word.
struct TypedLine {
  std::string_view word;
  bool more = false;  // another word on the same line
};

std::vector<TypedLine> TypedLines(std::string_view text) {
  std::vector<TypedLine> lines;
  std::size_t i = 0;
  for (;;) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i == text.size()) return lines;
    const std::size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    TypedLine line{text.substr(start, i - start)};
    for (; i < text.size() && text[i] != '\n'; ++i) {
      if (!IsBlank(text[i])) line.more = true;
    }
    if (i < text.size()) ++i;  // the LF
    lines.push_back(line);
  }
}

void CheckWords(std::string_view bytes) {
  std::istringstream in{std::string(bytes)};
  for (const TypedLine& line : TypedLines(bytes)) {
    std::string word = "stale";
    const WordStatus status = ReadWord(in, &word);
    if (line.word.size() > kMaxPathLength) {
      Require(status == WordStatus::kTooLong && word.empty(), "long word not refused");
    } else if (line.more) {
      Require(status == WordStatus::kTooMany && word.empty(), "second word not refused");
    } else {
      Require(status == WordStatus::kRead && word == line.word, "word not read whole");
    }
  }
  std::string word = "stale";
  Require(ReadWord(in, &word) == WordStatus::kRead && word.empty() && in.fail(),
          "end of input not an empty word");
}

bool Offers(Buttons buttons, DialogResult result) {
  switch (buttons) {
    case Buttons::kOk:
      return result == DialogResult::kOk;
    case Buttons::kOkCancel:
      return result == DialogResult::kOk || result == DialogResult::kCancel;
    case Buttons::kYesNoCancel:
      return result == DialogResult::kYes || result == DialogResult::kNo ||
             result == DialogResult::kCancel;
    case Buttons::kYesNo:
      return result == DialogResult::kYes || result == DialogResult::kNo;
  }
  return false;
}

std::optional<DialogResult> ButtonOfLetter(Buttons buttons, char letter) {
  const DialogResult results[] = {DialogResult::kOk, DialogResult::kCancel,
                                  DialogResult::kYes, DialogResult::kNo};
  const char* letters = "OCYN";
  for (int i = 0; i < 4; ++i) {
    if ((letter == letters[i] || letter == letters[i] + ('a' - 'A')) &&
        Offers(buttons, results[i])) {
      return results[i];
    }
  }
  return std::nullopt;
}

// The first dialog over `bytes`: drawn once, then its buttons line again for
// each refused answer; an offered letter as the first character answers it.
void CheckFirstDialog(std::string_view bytes, Buttons buttons, const char* line,
                      const std::string& drawn, DialogResult result, bool ended) {
  const std::string asked = std::string(line) + ": ";
  const std::string head = "\n== Slicery (question) ==\nText\n";
  Require(drawn.compare(0, head.size(), head) == 0, "dialog drawn wrong");
  const std::string rest = drawn.substr(head.size());
  Require(!rest.empty() && rest.size() % asked.size() == 0, "buttons line wrong");
  for (std::size_t i = 0; i < rest.size(); i += asked.size()) {
    Require(rest.compare(i, asked.size(), asked) == 0, "buttons line wrong");
  }
  std::size_t first = 0;
  while (first < bytes.size() && IsBlank(bytes[first])) ++first;
  const std::optional<DialogResult> picked =
      first < bytes.size() ? ButtonOfLetter(buttons, bytes[first]) : std::nullopt;
  if (first == bytes.size()) {
    Require(ended, "end of input missed");
  } else if (picked) {
    Require(result == *picked && rest.size() == asked.size(), "first letter not taken");
  } else {
    Require(rest.size() >= 2 * asked.size(), "refused answer not asked again");
  }
}

// Dialogs of every button set answered from `bytes` until the input ends.
void CheckDialogs(std::string_view bytes) {
  const struct {
    Buttons buttons;
    const char* line;
  } sets[] = {{Buttons::kOk, "[O]K"},
              {Buttons::kOkCancel, "[O]K / [C]ancel"},
              {Buttons::kYesNoCancel, "[Y]es / [N]o / [C]ancel"},
              {Buttons::kYesNo, "[Y]es / [N]o"}};
  for (const auto& [buttons, line] : sets) {
    std::istringstream in{std::string(bytes)};
    std::ostringstream out;
    bool ended = false;
    ConsoleScreen screen(in, out, false, [&ended] { ended = true; });
    for (std::size_t shown = 0;; ++shown) {
      Require(shown <= bytes.size(), "dialogs go on without reading input");
      const DialogResult result =
          screen.ShowMessageBox("Text", "Slicery", buttons, Icon::kQuestion);
      Require(ended ? result == DialogResult::kCancel : Offers(buttons, result),
              "answer not offered");
      if (shown == 0) CheckFirstDialog(bytes, buttons, line, out.str(), result, ended);
      if (ended) break;
    }
  }
}

}  // namespace
}  // namespace slicery

namespace slicery {
namespace {

// The checksum file and the recovery record: what reads is what the writer
// gives back, field for field.
void CheckRecoveryFiles(std::string_view bytes) {
  if (const std::optional<ChunkChecksums> sums = ParseChunkChecksums(bytes)) {
    Require(ParseChunkChecksums(FormatChunkChecksums(*sums)) == sums,
            "a checksum file reads back as written");
  }
  if (const std::optional<RecoveryRecord> record = ParseRecoveryRecord(bytes)) {
    Require(ParseRecoveryRecord(FormatRecoveryRecord(*record)) == record,
            "a recovery record reads back as written");
  }
}

}  // namespace
}  // namespace slicery

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  slicery::CheckSetIdentity(bytes);
  slicery::CheckDiskInfo(bytes);
  slicery::CheckFirstLine(bytes);
  slicery::CheckWords(bytes);
  slicery::CheckDialogs(bytes);
  slicery::CheckRecoveryFiles(bytes);
  return 0;
}
