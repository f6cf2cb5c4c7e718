#include "menu/menu_loop.h"

#include <gtest/gtest.h>

#include "dialog_texts.h"
#include "fakes/fake_host.h"
#include "platform/dialog_types.h"

namespace slicery {
namespace {

using namespace texts;

constexpr char kPrompt[] = "Please enter the filename to slicery: \n";

TEST(MenuLoopTest, CancelEndsAtOnceWithStatusZero) {
  FakeHost host;
  host.screen.Then(DialogResult::kCancel);
  EXPECT_EQ(RunMenuLoop(host.ctx), 0);
  ASSERT_EQ(host.screen.calls().size(), 1u);
  EXPECT_EQ(host.screen.calls()[0].text, kMenu);
  EXPECT_EQ(host.screen.calls()[0].caption, "Slicery");
  EXPECT_EQ(host.screen.calls()[0].buttons, Buttons::kYesNoCancel);
  EXPECT_EQ(host.screen.calls()[0].icon, Icon::kNone);
  EXPECT_EQ(host.screen.clears(), 1);
}

TEST(MenuLoopTest, EachOperationStartsAfreshAndEndsAsItSays) {
  // Split, back to the menu, split again: the second asks for its file again.
  FakeHost host("missing.bin\nother.bin");
  host.screen.Then(DialogResult::kYes)
      .Then(DialogResult::kCancel)
      .Then(DialogResult::kYes);  // menu, open failed, another?
  host.screen.Then(DialogResult::kYes)
      .Then(DialogResult::kCancel)
      .Then(DialogResult::kNo);  // menu, open failed, another?
  EXPECT_EQ(RunMenuLoop(host.ctx), 0);
  EXPECT_EQ(host.out.str(), std::string(kPrompt) + kPrompt);
  EXPECT_EQ(host.screen.Count(kCannotOpen), 2);
  EXPECT_EQ(host.screen.Count(kMenu), 2);
  EXPECT_EQ(host.screen.clears(), 2);

  // Reconstitute, back to the menu, then a split that prompts for its file.
  FakeHost mixed("missing.bin");
  mixed.screen.Then(DialogResult::kNo)
      .Then(DialogResult::kCancel)
      .Then(DialogResult::kYes);  // menu, insert disk, another?
  mixed.screen.Then(DialogResult::kYes)
      .Then(DialogResult::kCancel)
      .Then(DialogResult::kNo);  // menu, open failed, another?
  EXPECT_EQ(RunMenuLoop(mixed.ctx), 0);
  EXPECT_EQ(mixed.out.str(), kPrompt);
  EXPECT_EQ(mixed.screen.Count(kAnother), 2);
  EXPECT_TRUE(mixed.screen.exhausted());
}

}  // namespace
}  // namespace slicery
