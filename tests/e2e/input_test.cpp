// What the program does with bad configuration and bad or missing input: it
// says so and ends, or asks again; it never hangs.
#include <sys/stat.h>

#include <filesystem>

#include "e2e/e2e_test.h"

namespace slicery::e2e {
namespace {

using namespace std::string_literals;

struct VolumeSize {
  const char* value;
  bool valid;
};

void PrintTo(const VolumeSize& size, std::ostream* out) {
  *out << '"' << size.value << '"';
}

class VolumeSizeTest : public E2eTest,
                       public ::testing::WithParamInterface<VolumeSize> {};

TEST_P(VolumeSizeTest, InvalidSizeEndsWithOneLineAndStatusTwo) {
  LaunchOptions options = Options();
  options.env.back() = {"SLICERY_VOLUME_SIZE", GetParam().value};
  std::unique_ptr<Session> session = Launch(options);
  ASSERT_TRUE(session);
  if (GetParam().valid) {
    ASSERT_TRUE(Play(*session, {{"Slicery", kMenu, "c"}}));
    ASSERT_TRUE(Ended(*session));
    return;
  }
  session->CloseInput();
  const std::optional<ExitStatus> status = session->WaitExit();
  ASSERT_TRUE(status) << session->Transcript();
  EXPECT_TRUE(status->exited && status->code == 2) << session->Transcript();
  EXPECT_EQ(session->Stdout(), "");
  const std::string& line = session->Stderr();
  EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
  EXPECT_NE(line.find("SLICERY_VOLUME_SIZE"), std::string::npos) << line;
  EXPECT_NE(line.find(GetParam().value), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(Values, VolumeSizeTest,
                         ::testing::Values(VolumeSize{"", false}, VolumeSize{"-1", false},
                                           VolumeSize{"+5", false},
                                           VolumeSize{"12a", false},
                                           VolumeSize{"0", false},
                                           VolumeSize{"9223372036854775808", false},
                                           VolumeSize{"99999999999999999999", false},
                                           VolumeSize{"9223372036854775807", true}));

// All input at once, then its end: the dialogs shown, in order.
struct InputCase {
  const char* name;
  std::string input;
  std::vector<std::string> dialogs;     // texts; "again" for a repeated buttons line
  bool set_in_drive = false;            // a one-volume set recorded as "src.bin"
  const char* recorded_path = nullptr;  // the record left in the drive
};

const std::string kOverlong = "sub/" + std::string(296, 'a');

const InputCase kInputCases[] = {
    {"CancelAtMenu", "c\n", {kMenu}},
    {"EndAtMenu", "", {kMenu}},
    {"EndAtFileName", "y\n", {kMenu, kCannotOpen}},
    {"EndAtSplitInsert", "y\nsrc.bin\n", {kMenu, kSplitInsert}},
    {"EndAtAbortQuestion", "y\nsrc.bin\nc\n", {kMenu, kSplitInsert, "Abort operation?"}},
    {"EndAtIdentification", "n\n", {kMenu, kIdentify}},
    {"EndAtDiskRequest",
     "n\no\nn\nout.bin\n",
     {kMenu, kIdentify, Confirm("src.bin"), RequestDisk(1)},
     true},
    {"OverlongFileNameRefusedWhole",
     "y\n" + kOverlong + "\no\nsrc.bin\n",
     {kMenu, kCannotOpen, kSplitInsert}},
    // Sources that are not files, or are the volume's own, or whose name holds
    // a NUL byte: refused at the prompt, at once.
    {"DirectoryRefusedAsSource",
     "y\nsub\no\nsrc.bin\n",
     {kMenu, kCannotOpen, kSplitInsert}},
    {"FifoRefusedAsSource", "y\nfifo\no\nsrc.bin\n", {kMenu, kCannotOpen, kSplitInsert}},
    {"CharacterDeviceRefusedAsSource",
     "y\n/dev/zero\no\nsrc.bin\n",
     {kMenu, kCannotOpen, kSplitInsert}},
    {"VolumeFileRefusedAsSource",
     "y\n../drive/SLICERY.A2Z\no\nsrc.bin\n",
     {kMenu, kCannotOpen, kSplitInsert},
     true},
    {"NulInFileNameRefused",
     "y\nsrc.bin\0x\no\nsrc.bin\n"s,
     {kMenu, kCannotOpen, kSplitInsert}},
    // A line of two words is refused whole; nothing of it answers the retry
    // dialog, which the next line does.
    {"PathWithSpaceRefusedWhole",
     "y\nsrc.bin extra\no\nsrc.bin\no\nn\n",
     {kMenu, kCannotOpen, kSplitInsert, kComplete},
     false,
     "src.bin\r\n"},
};

void PrintTo(const InputCase& test, std::ostream* out) { *out << test.name; }

class InputTest : public E2eTest, public ::testing::WithParamInterface<InputCase> {};

TEST_P(InputTest, EndsPromptlyAfterTheExpectedDialogs) {
  const InputCase& test = GetParam();
  ASSERT_TRUE(WriteFile(Work("src.bin"), RandomBytes(300, 1)));
  // The first 259 characters of the overlong name name a real file.
  std::filesystem::create_directories(Work("sub"));
  ASSERT_TRUE(WriteFile(Work(kOverlong.substr(0, 259)), "x"));
  // A FIFO that no one writes to: opening it for reading would wait forever.
  ASSERT_EQ(mkfifo(Work("fifo").c_str(), 0600), 0);
  if (test.set_in_drive) {
    ASSERT_TRUE(
        WriteFile(drive_.path() + "/" + kInfoFile, "src.bin\r\n0\r\n*\r\n0\r\n77"));
    ASSERT_TRUE(WriteFile(drive_.path() + "/" + kDataFile, ""));
  }
  std::unique_ptr<Session> session = Launch();
  ASSERT_TRUE(session);
  ASSERT_TRUE(session->Send(test.input));
  session->CloseInput();
  // A few more than expected, so that a program asking forever still stops here.
  std::vector<std::string> shown;
  while (shown.size() < test.dialogs.size() + 3) {
    const std::optional<Dialog> dialog = session->NextDialog();
    if (!dialog) break;
    shown.push_back(dialog->repeated ? "again" : dialog->text);
  }
  ASSERT_TRUE(Ended(*session));
  EXPECT_EQ(shown, test.dialogs) << session->Transcript();
  EXPECT_EQ(session->TrailingConsole(), "") << session->Transcript();
  if (test.recorded_path != nullptr) {
    const std::string record = ReadFile(drive_.path() + "/" + kInfoFile).value_or("");
    EXPECT_EQ(record.rfind(test.recorded_path, 0), 0u) << record;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, InputTest, ::testing::ValuesIn(kInputCases),
                         [](const auto& info) { return info.param.name; });

// A location typed with white space inside: the whole line is refused, nothing
// is created or emptied at its first word, and none of it answers a later
// dialog; the location is asked for again.
struct TypedLine {
  const char* name;
  const char* line;
};

void PrintTo(const TypedLine& test, std::ostream* out) { *out << test.name; }

class TypedLineTest : public E2eTest, public ::testing::WithParamInterface<TypedLine> {};

TEST_P(TypedLineTest, LocationOfTwoWordsIsRefusedWhole) {
  // A one-volume set of "src.bin" on disk 1; the user's own file beside it.
  std::filesystem::create_directories(drive_.DiskPath("1"));
  ASSERT_TRUE(WriteFile(drive_.FileOn("1", kInfoFile), "src.bin\r\n0\r\n*\r\n5\r\n42"));
  ASSERT_TRUE(WriteFile(drive_.FileOn("1", kDataFile), "12345"));
  ASSERT_TRUE(WriteFile(Work("old.bin"), "the user's only copy"));
  std::filesystem::create_directories(Work("restore"));
  ASSERT_TRUE(
      PlayToExit({{"Slicery", kMenu, "n"},
                  {"Slicery", kIdentify, "o", "1"},
                  {"Slicery (question)", Confirm("src.bin"), "n\n"s + GetParam().line},
                  {"Error (error)", kCannotCreate, "o\nrebuilt.bin"},
                  {"Slicery", RequestDisk(1), "o", "",
                   "Please enter desired location to reconstitute.\n"},
                  {"Slicery", kComplete, "n"}}));
  EXPECT_TRUE(Holds(Work("old.bin"), "the user's only copy"));
  EXPECT_TRUE(std::filesystem::is_empty(Work("restore")));
  EXPECT_TRUE(Holds(Work("rebuilt.bin"), "12345"));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TypedLineTest,
    ::testing::Values(TypedLine{"ExistingFileThenYes", "old.bin yes"},
                      TypedLine{"NewFileWithASpace", "restore/new copy.bin"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace slicery::e2e
