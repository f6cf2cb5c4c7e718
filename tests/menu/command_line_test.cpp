#include "menu/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace slicery {
namespace {

using Action = CommandLine::Action;

struct ArgumentCase {
  std::vector<std::string> args;
  Action action;
  std::optional<std::string> root = std::nullopt;
  std::optional<std::string> size = std::nullopt;
  std::string error = "";
};

const ArgumentCase kCases[] = {
    {{}, Action::kRun},
    {{"--help"}, Action::kHelp},
    {{"--version"}, Action::kVersion},
    {{"--version", "--help"}, Action::kHelp},
    {{"--volume", "/mnt/stick"}, Action::kRun, "/mnt/stick"},
    {{"--volume=/mnt/a b"}, Action::kRun, "/mnt/a b"},
    {{"--volume-size", "1457664"}, Action::kRun, std::nullopt, "1457664"},
    // The size is checked by the host, as the environment variable is.
    {{"--volume-size=0x10", "--volume", "d"}, Action::kRun, "d", "0x10"},
    {{"--volume", "--help"}, Action::kRun, "--help"},
    {{"--volume"},
     Action::kUsageError,
     std::nullopt,
     std::nullopt,
     "--volume needs a value"},
    {{"--volume="},
     Action::kUsageError,
     std::nullopt,
     std::nullopt,
     "--volume needs a value"},
    {{"--volume", ""},
     Action::kUsageError,
     std::nullopt,
     std::nullopt,
     "--volume needs a value"},
    {{"--volume-size"},
     Action::kUsageError,
     std::nullopt,
     std::nullopt,
     "--volume-size needs a value"},
    {{"--volume", "a", "--volume=b"},
     Action::kUsageError,
     std::nullopt,
     std::nullopt,
     "--volume is given twice"},
    {{"--help", "extra"},
     Action::kUsageError,
     std::nullopt,
     std::nullopt,
     "unknown argument \"extra\""},
    {{"-h"}, Action::kUsageError, std::nullopt, std::nullopt, "unknown argument \"-h\""},
    {{"--volumes", "d"},
     Action::kUsageError,
     std::nullopt,
     std::nullopt,
     "unknown argument \"--volumes\""},
    {{"--version=2"},
     Action::kUsageError,
     std::nullopt,
     std::nullopt,
     "unknown argument \"--version=2\""},
};

TEST(CommandLineTest, ArgumentCases) {
  for (const ArgumentCase& c : kCases) {
    std::string args;
    for (const std::string& arg : c.args) args += " [" + arg + "]";
    SCOPED_TRACE("args:" + args);
    const CommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.action, c.action);
    EXPECT_EQ(line.error, c.error);
    if (c.action == Action::kRun) {
      EXPECT_EQ(line.volume.root, c.root);
      EXPECT_EQ(line.volume.size, c.size);
    }
  }
}

TEST(CommandLineTest, TextsPrintedForHelpVersionAndUsageErrors) {
  EXPECT_STREQ(kVersionLine, "slicery 1.0\n");
  const std::string usage = kUsageText;
  for (const char* part :
       {"Usage: slicery", "--volume DIR", "--volume-size BYTES", "--help", "--version",
        "SLICERY_VOLUME ", "SLICERY_VOLUME_SIZE", "SLICERY.A2Z", "SLICERY.Q2Z",
        "SLICERY.L2Z", "Exit status", "--volume X:", "space or tab", "as one word",
        "--no-resume", "SLICERY_NO_RESUME", "~/.local/state/slicery/"}) {
    EXPECT_NE(usage.find(part), std::string::npos) << part;
  }
  const std::string hint = UsageHint("unknown argument \"-x\"");
  EXPECT_EQ(hint.find('\n'), hint.size() - 1);
  EXPECT_EQ(hint.rfind("slicery: unknown argument \"-x\"; usage: slicery", 0), 0u)
      << hint;
  EXPECT_NE(hint.find("[--no-verify] [--recovery N] | --help"), std::string::npos)
      << hint;
}

}  // namespace
}  // namespace slicery

namespace slicery {
namespace {

// --recovery N comes before SLICERY_RECOVERY; N is 1 to 16 in plain digits,
// and anything else is one line naming where it came from.
TEST(CommandLineTest, RecoveryDisksFromTheOptionOrTheVariable) {
  struct Case {
    std::vector<std::string> args;
    const char* variable;
    std::optional<int> disks;
    const char* error;  // part of the line on standard error
  };
  const Case cases[] = {
      {{}, nullptr, 0, ""},
      {{}, "", 0, ""},
      {{"--recovery", "2"}, nullptr, 2, ""},
      {{"--recovery=16"}, "3", 16, ""},
      {{}, "1", 1, ""},
      {{"--recovery", "17"}, nullptr, std::nullopt, "--recovery must be a number"},
      {{"--recovery=0"}, nullptr, std::nullopt, "from 1 to 16, not \"0\""},
      {{"--recovery=02"}, nullptr, std::nullopt, "--recovery"},
      {{"--recovery=-1"}, nullptr, std::nullopt, "--recovery"},
      {{}, "two", std::nullopt, "SLICERY_RECOVERY must be a number"},
      {{}, " 2", std::nullopt, "SLICERY_RECOVERY"},
  };
  for (const Case& c : cases) {
    const CommandLine line = ParseCommandLine(c.args);
    ASSERT_EQ(line.action, Action::kRun) << c.error;
    std::string error;
    EXPECT_EQ(RecoveryDisks(line, c.variable, &error), c.disks) << c.error;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    if (!c.disks) {
      EXPECT_EQ(error.rfind("slicery: ", 0), 0u) << error;
    }
  }
  EXPECT_EQ(ParseCommandLine({"--recovery"}).error, "--recovery needs a value");
  for (const char* part : {"--recovery N", "SLICERY_RECOVERY", "SLICERY.C2Z"}) {
    EXPECT_NE(std::string(kUsageText).find(part), std::string::npos) << part;
  }
}

}  // namespace
}  // namespace slicery
