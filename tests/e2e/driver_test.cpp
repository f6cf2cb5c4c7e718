// The driver itself, against /bin/cat, which echoes whatever it is sent: the
// dialog recognition, including output that arrives in pieces, and the
// deadlines.
#include "e2e/driver.h"

#include <gtest/gtest.h>

namespace slicery::e2e {
namespace {

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LaunchOptions options;
    options.program = "/bin/cat";
    options.timeout = std::chrono::milliseconds(300);
    std::string error;
    echo_ = Session::Start(options, &error);
    ASSERT_TRUE(echo_) << error;
  }

  std::unique_ptr<Session> echo_;
};

TEST_F(DriverTest, RecognisesDialogsWhenTheyAreComplete) {
  ASSERT_TRUE(
      echo_->Send("progress line\n\n== Error (warning) ==\ntwo\nlines\n[Y]es / [N]o"));
  EXPECT_FALSE(echo_->NextDialog());  // "[Y]es / [N]o" may still go on
  ASSERT_TRUE(
      echo_->Send(" / [C]ancel: [Y]es / [N]o / [C]ancel: \n== Slicery ==\n\n[O]K: "));
  const std::optional<Dialog> first = echo_->NextDialog();
  ASSERT_TRUE(first) << echo_->Transcript();
  EXPECT_EQ(first->console, "progress line\n");
  EXPECT_EQ(first->caption, "Error");
  EXPECT_EQ(first->icon, "warning");
  EXPECT_EQ(first->text, "two\nlines");
  EXPECT_EQ(first->buttons, "[Y]es / [N]o / [C]ancel");
  EXPECT_EQ(Render(*first),
            "\n== Error (warning) ==\ntwo\nlines\n[Y]es / [N]o / [C]ancel: ");
  const std::optional<Dialog> again = echo_->NextDialog();
  ASSERT_TRUE(again);
  EXPECT_TRUE(again->repeated);
  EXPECT_EQ(again->text, "two\nlines");
  const std::optional<Dialog> empty = echo_->NextDialog();
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->caption, "Slicery");
  EXPECT_EQ(empty->icon, "");
  EXPECT_EQ(empty->text, "");
  EXPECT_EQ(empty->buttons, "[O]K");
}

TEST_F(DriverTest, EveryWaitEndsAtItsDeadline) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(echo_->NextDialog());
  EXPECT_NE(echo_->error().find("no dialog within 300 ms"), std::string::npos);
  EXPECT_FALSE(echo_->WaitExit());  // cat waits for input: killed at the deadline
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_NE(echo_->Transcript().find("did not end"), std::string::npos);
}

TEST_F(DriverTest, ReportsExitAndWhatFollowedTheLastDialog) {
  ASSERT_TRUE(echo_->Send("\n== A ==\nb\n[O]K: tail"));
  ASSERT_TRUE(echo_->NextDialog());
  echo_->CloseInput();
  EXPECT_FALSE(echo_->NextDialog());
  const std::optional<ExitStatus> status = echo_->WaitExit();
  ASSERT_TRUE(status);
  EXPECT_TRUE(status->exited);
  EXPECT_EQ(status->code, 0);
  EXPECT_GT(status->usage.ru_maxrss, 0);  // cat's own, from wait4
  EXPECT_EQ(echo_->TrailingConsole(), "tail");
  EXPECT_FALSE(echo_->Send("x"));
}

TEST(DriverStartTest, MissingProgramIsReported) {
  LaunchOptions options;
  options.program = "/nonexistent/slicery";
  std::string error;
  EXPECT_FALSE(Session::Start(options, &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

}  // namespace
}  // namespace slicery::e2e
