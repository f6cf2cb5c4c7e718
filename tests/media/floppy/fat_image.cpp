#include "media/floppy/fat_image.h"

#include <regex>

#include "e2e/files.h"
#include "media/command.h"

namespace slicery::floppy {
namespace {

bool Run(const std::vector<std::string>& argv, std::string* output, std::string* error) {
  if (e2e::RunCommand(argv, output)) return true;
  *error = e2e::Describe(argv, *output);
  return false;
}

}  // namespace

bool MakeFloppyImage(const std::string& path, std::string* error) {
  std::string output;
  return Run({"mkfs.fat", "-C", path, "1440"}, &output, error);
}

bool MakeStickImage(const std::string& path, std::string* error) {
  std::string output;
  return Run({"mkfs.fat", "-F", "32", "-S", "512", "-s", "8", "-C", path, "266240"},
             &output, error);
}

std::optional<std::string> ReadFromImage(const std::string& image,
                                         const std::string& name, std::string* error) {
  const std::string copy = image + "." + name;
  std::string output;
  if (!Run({"mcopy", "-n", "-i", image, "::" + name, copy}, &output, error))
    return std::nullopt;
  std::optional<std::string> bytes = e2e::ReadFile(copy);
  std::remove(copy.c_str());
  if (!bytes) *error = "cannot read " + copy;
  return bytes;
}

std::optional<std::uint64_t> FreeBytesOfImage(const std::string& image,
                                              std::string* error) {
  std::string listing;
  if (!Run({"mdir", "-i", image, "::"}, &listing, error)) return std::nullopt;
  // "  1 457 664 bytes free": groups of digits split by spaces.
  static const std::regex kFree(R"(([0-9][0-9 ]*) bytes free)");
  std::smatch match;
  if (!std::regex_search(listing, match, kFree)) {
    *error = "no free bytes in: " + listing;
    return std::nullopt;
  }
  std::string digits;
  for (char c : match[1].str()) {
    if (c != ' ') digits += c;
  }
  return std::strtoull(digits.c_str(), nullptr, 10);
}

}  // namespace slicery::floppy
