// The command line through the real program: what it prints and its exit
// status for each kind of argument, and the volume options taking the place of
// the environment variables.
#include <filesystem>

#include "e2e/e2e_test.h"

namespace slicery::e2e {
namespace {

struct ArgumentCase {
  std::vector<std::string> args;
  const char* size_variable;  // SLICERY_VOLUME_SIZE
  int status;
  const char* out;  // standard output, or its start when it ends in "..."; "menu"
  const char* err;  // in the one line on standard error, when there is one
};

const ArgumentCase kCases[] = {
    {{}, "1600", 0, "menu", nullptr},
    {{"--version"}, "1600", 0, "slicery 1.0\n", nullptr},
    {{"--help"},
     "1600",
     0,
     "Usage: slicery [--volume DIR] [--volume-size BYTES] [--no-verify]\n...",
     nullptr},
    {{"--frobnicate"},
     "1600",
     2,
     "",
     "unknown argument \"--frobnicate\"; usage: slicery"},
    {{"file.bin"}, "1600", 2, "", "unknown argument \"file.bin\"; usage: slicery"},
    {{"--volume"}, "1600", 2, "", "--volume needs a value; usage: slicery"},
    {{"--volume-size", "12a"}, "1600", 2, "", "--volume-size must be a byte count"},
    {{"--volume-size=0"}, "1600", 2, "", "--volume-size must be a byte count"},
    {{"--volume-size", "1600"}, "junk", 0, "menu", nullptr},
    {{}, "junk", 2, "", "SLICERY_VOLUME_SIZE must be a byte count"},
    // A check whose input ends before its verdict must not pass for a whole set.
    {{"--check"},
     "1600",
     4,
     "\n== Slicery ==\nPlease insert a disk into drive.\n[O]K / [C]ancel: ",
     nullptr},
    {{"--check", "--recovery", "2"},
     "1600",
     2,
     "",
     "--recovery does not go with --check; usage: slicery"},
};

class CommandLineTest : public E2eTest {};

TEST_F(CommandLineTest, OutputAndStatusForEachKindOfArgument) {
  for (const ArgumentCase& c : kCases) {
    std::string args;
    for (const std::string& arg : c.args) args += " [" + arg + "]";
    SCOPED_TRACE("args:" + args + " size variable " + c.size_variable);
    LaunchOptions options = Options();
    options.args = c.args;
    options.env.back().second = c.size_variable;
    std::unique_ptr<Session> session = Launch(options);
    ASSERT_TRUE(session);
    if (std::string(c.out) == "menu") {
      ASSERT_TRUE(Play(*session, {{"Slicery", kMenu, "c"}}));
      ASSERT_TRUE(Ended(*session));
      continue;
    }
    session->CloseInput();
    const std::optional<ExitStatus> status = session->WaitExit();
    ASSERT_TRUE(status) << session->Transcript();
    EXPECT_TRUE(status->exited && status->code == c.status) << session->Transcript();
    std::string out = c.out;
    if (out.ends_with("...")) {
      out.resize(out.size() - 3);
      EXPECT_EQ(session->Stdout().substr(0, out.size()), out);
    } else {
      EXPECT_EQ(session->Stdout(), out);
    }
    const std::string& err = session->Stderr();
    if (c.err == nullptr) {
      EXPECT_EQ(err, "");
    } else {
      EXPECT_EQ(err.rfind("slicery: ", 0), 0u) << err;
      EXPECT_NE(err.find(c.err), std::string::npos) << err;
      EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    }
  }
}

TEST_F(CommandLineTest, VolumeOptionsComeBeforeTheEnvironment) {
  ASSERT_TRUE(WriteFile(Work("src.bin"), std::string(500, 'x')));
  LaunchOptions options = Options();
  options.env = {{"SLICERY_VOLUME", Work("elsewhere")}, {"SLICERY_VOLUME_SIZE", "junk"}};
  options.args = {"--volume", drive_.path(), "--volume-size=1600"};
  std::unique_ptr<Session> session = Launch(options);
  ASSERT_TRUE(session);
  ASSERT_TRUE(Play(*session, std::vector<Step>{{"Slicery", kMenu, "y\nsrc.bin"}} +
                                 SplitDisks({"1"}) +
                                 std::vector<Step>{{"Slicery", kComplete, "n"}}));
  ASSERT_TRUE(Ended(*session));
  EXPECT_TRUE(Holds(drive_.FileOn("1", kDataFile), std::string(500, 'x')));
  EXPECT_FALSE(std::filesystem::exists(Work("elsewhere")));
}

}  // namespace
}  // namespace slicery::e2e
