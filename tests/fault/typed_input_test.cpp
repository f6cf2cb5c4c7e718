// Whatever a person types, at any prompt or dialog: the program takes it as
// described, or ends when the input does, and never hangs or crashes.
#include <gtest/gtest.h>

#include <string>

#include "dialog_texts.h"
#include "diskset/volume.h"
#include "fakes/fake_host.h"
#include "menu/menu_loop.h"
#include "platform/console_screen.h"
#include "platform/dialog_types.h"
#include "reconstitute/reconstitute_operation.h"
#include "split/split_operation.h"

namespace slicery {
namespace {

using namespace texts;

struct EndOfInput {};

constexpr char kConfirm[] =
    "This operation contains a file entitled\norig.bin\nWould you like to reconstitute "
    "the file at this location?";
constexpr char kSetChunk[] = "12345";

const std::string kName259 = std::string(255, 'n') + ".bin";
const std::string kNonAscii = "\xE9t\xE9\x80\xFF.bin";

// The text of the last dialog drawn on the console.
std::string LastDialogText(const std::string& out) {
  const std::size_t text = out.find(" ==\n", out.rfind("\n== ")) + 4;
  return out.substr(text, out.rfind('\n') - text);
}

// Sources "src.bin", a 259-character name and a non-ASCII name; a blank disk
// and a one-volume set of "orig.bin"; `disk` in the drive.
void Prepare(MemoryEnv& env, const std::string& disk) {
  for (const std::string& name : {std::string("src.bin"), kName259, kNonAscii}) {
    env.SetFile(name, "bytes of " + name);
  }
  env.AddDisk("blank", 1600);
  env.AddDisk("set", 1600);
  env.InsertDisk("set");
  env.SetFile(InfoFilePath(env), FormatDiskInfo({"orig.bin", 0, '*', 5, 42}, "\r\n"));
  env.SetFile(DataFilePath(env), kSetChunk);
  env.InsertDisk(disk);
}

TEST(TypedInputTest, EveryAnswerAndWordIsTakenAsDescribedOrEndsTheProgram) {
  struct Case {
    const char* what;
    const char* disk;      // in the drive
    std::string typed;     // names and dialog answers, as typed
    const char* ends_at;   // dialog the input ends at; null: the user leaves
    std::string recorded;  // first line of the record a split leaves on "blank"
    std::string target;    // file a reconstitution leaves holding the set's chunk
    std::string shown;     // a passage the console must show
  };
  const std::string again4 =
      "[Y]es / [N]o / [C]ancel: [Y]es / [N]o / [C]ancel: "
      "[Y]es / [N]o / [C]ancel: [Y]es / [N]o / [C]ancel: ";
  const Case cases[] = {
      {"end at the menu", "blank", "", kMenu, "", "", ""},
      {"empty word as source", "blank", "y\n \t\r\n", kCannotOpen, "", "", ""},
      {"260 chars as source, 259 of them a file", "blank", "y\n" + kName259 + "x\n",
       kCannotOpen, "", "", ""},
      {"5000 chars as source", "blank", "y\n" + std::string(5000, 's') + "\n",
       kCannotOpen, "", "", ""},
      {"259 chars as source", "blank", "y\n" + kName259 + "\no\nn\n", nullptr, kName259,
       "", ""},
      {"two words as source: the line refused, nothing of it answers", "blank",
       "y\nsrc.bin and more\no\nsrc.bin\no\nn\n", nullptr, "src.bin", "",
       std::string(kCannotOpen) + "\n[O]K / [C]ancel: Please enter the filename"},
      {"non-ASCII source kept as typed", "blank", "y\n" + kNonAscii + "\no\nn\n", nullptr,
       kNonAscii, "", ""},
      {"answers that are no button", "blank", "x\n\xFF\n7\nok\ny\n", kCannotOpen, "", "",
       "NO.\n" + again4 + "[Y]es / [N]o / [C]ancel: Please enter"},
      {"over-long answer", "blank", "n" + std::string(300, 'x') + "\n", kIdentify, "", "",
       ""},
      {"end at the volume request", "blank", "y\nsrc.bin\n", kSplitInsert, "", "", ""},
      {"end at the abort question", "blank", "y\nsrc.bin\nc\n", "Abort operation?", "",
       "", ""},
      {"end at another operation", "blank", "y\nsrc.bin\nc\ny\n", kAnother, "", "", ""},
      {"end at the reuse question", "set", "y\nsrc.bin\no\n", kReuse, "", "", ""},
      {"end at completion", "blank", "y\nsrc.bin\no\n", kComplete, "src.bin", "", ""},
      {"end at identification", "set", "n\n", kIdentify, "", "", ""},
      {"end at the recorded location", "set", "n\no\n", kConfirm, "", "", ""},
      {"empty word as location", "set", "n\no\nn\n", kCannotCreate, "", "", ""},
      {"260 chars as location", "set", "n\no\nn\n" + std::string(260, 't') + "\n",
       kCannotCreate, "", "", ""},
      {"end at the overwrite question", "set", "n\no\nn\nsrc.bin\n", kOverwrite, "", "",
       ""},
      {"end at the first numbered volume", "set", "n\no\ny\n", "Please insert Disk #1",
       "", "", ""},
      {"two words as location: the line refused, nothing of it answers", "set",
       "n\no\nn\nnew y\no\n" + kNonAscii + "x\no\nn\n", nullptr, "", kNonAscii + "x",
       std::string(kCannotCreate) + "\n[O]K / [C]ancel: Please enter desired location"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host(c.typed);
    Prepare(host.env, c.disk);
    ConsoleScreen console(host.in, host.out, false, [] { throw EndOfInput{}; });
    Context ctx{{console, host.in, host.out, false}, host.env};
    if (c.ends_at) {
      EXPECT_THROW(RunMenuLoop(ctx), EndOfInput);
      EXPECT_EQ(LastDialogText(host.out.str()), c.ends_at);
    } else {
      EXPECT_EQ(RunMenuLoop(ctx), 0);
    }
    if (!c.recorded.empty()) {
      EXPECT_EQ(FirstLine(host.env.DiskFile("blank", kInfoFileName).value_or("")),
                c.recorded);
      EXPECT_EQ(host.env.DiskFile("blank", kDataFileName),
                host.env.FileBytes(c.recorded));
    } else {
      EXPECT_EQ(host.env.DiskFile("blank", kInfoFileName), std::nullopt);
    }
    if (!c.target.empty()) {
      EXPECT_EQ(host.env.FileBytes(c.target), kSetChunk);
    }
    EXPECT_NE(host.out.str().find(c.shown), std::string::npos) << host.out.str();
    // A word too long is refused whole, never cut to a name that exists, and
    // a line of two words leaves nothing at its first.
    EXPECT_EQ(host.env.FileBytes(std::string(259, 't')), std::nullopt);
    EXPECT_EQ(host.env.FileBytes("new"), std::nullopt);
  }
}

// With the input at its end, every prompt reads an empty word: the retry
// dialog comes each time, and its Cancel leaves.
TEST(TypedInputTest, EndOfInputAtAWordPromptComesBackToTheRetryDialog) {
  for (const bool reconstitute : {false, true}) {
    FakeHost host;
    Prepare(host.env, "set");
    if (reconstitute)
      host.screen.Then(DialogResult::kOk)
          .Then(DialogResult::kNo);  // the set, another location
    host.screen.Then(DialogResult::kOk)
        .Then(DialogResult::kOk)
        .Then(DialogResult::kCancel)
        .Then(DialogResult::kNo);
    const OperationOutcome outcome =
        reconstitute ? RunReconstituteOperation(host.ctx) : RunSplitOperation(host.ctx);
    EXPECT_EQ(outcome, OperationOutcome::kEndProgram);
    const char* retry = reconstitute ? kCannotCreate : kCannotOpen;
    EXPECT_EQ(host.screen.Count(retry), 3) << retry;
    EXPECT_EQ(host.screen.calls().back().text, kAnother);
    EXPECT_TRUE(host.screen.exhausted());
  }
}

}  // namespace
}  // namespace slicery
