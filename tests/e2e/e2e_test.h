// Shared pieces of the end-to-end tests: the texts the program shows, a
// scripted conversation with it, and a fixture with a drive, a disk shelf and a
// working folder.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialog_texts.h"
#include "e2e/drive.h"
#include "e2e/driver.h"
#include "e2e/files.h"

namespace slicery::e2e {

// The dialog texts, shared with the in-process tests.
using namespace ::slicery::texts;

inline const std::string kInfoFile = "SLICERY.Q2Z";
inline const std::string kDataFile = "SLICERY.A2Z";
inline const std::string kProbeFile = "SLICERY.L2Z";

// Every volume of the tests takes 1000 bytes of chunk: 1600 less the reserve.
inline constexpr int kVolumeSize = 1600;
inline constexpr int kChunk = 1000;

std::string Confirm(const std::string& recorded_path);
std::string RequestDisk(int number);

// One dialog of a conversation and what the test does about it.
struct Step {
  std::string header;  // caption, with " (icon)" when there is an icon
  std::string text;
  std::string reply;         // sent with a line end; nothing when empty
  std::string disk = "";     // inserted before the reply
  std::string console = "";  // must appear in the console text before the dialog
  std::function<void()> before = nullptr;  // runs before the disk goes in
};

std::vector<Step> operator+(std::vector<Step> a, const std::vector<Step>& b);
// OK to "Please insert Disk #n" for n in [from, to], with disk "n" inserted.
std::vector<Step> Requests(int from, int to);
// The split's request for data disk `number` of a set with recovery disks.
std::string NumberedSplitInsert(int number);
// A table row's name as a test's name: every character but letters and
// digits made '_'.
std::string CaseName(std::string name);
// OK to the split's insert request for each disk named; `numbered` for a set
// with recovery disks, whose requests name each data disk from Disk #1.
std::vector<Step> SplitDisks(const std::vector<std::string>& disks,
                             bool numbered = false);

class E2eTest : public ::testing::Test {
 protected:
  E2eTest();

  std::string Work(const std::string& name) const { return work_ + "/" + name; }
  // Starts the program in `dir` (the working folder when empty) on the drive.
  std::unique_ptr<Session> Launch(const std::string& dir = "");
  std::unique_ptr<Session> Launch(const LaunchOptions& options);
  LaunchOptions Options(const std::string& dir = "") const;
  // Plays the steps in order, then expects the program to end with status 0.
  ::testing::AssertionResult Play(Session& session, const std::vector<Step>& steps);
  ::testing::AssertionResult PlayToExit(const std::vector<Step>& steps,
                                        const std::string& dir = "",
                                        std::string* console = nullptr);
  // Splits `source` (as typed, from the working folder) onto disks "1".."count";
  // the console output goes to *console when given.
  ::testing::AssertionResult Split(const std::string& source, int count,
                                   std::string* console = nullptr);
  // Rebuilds the set on disks "1".."count" at `target`, typed as a new location.
  ::testing::AssertionResult Rebuild(const std::string& recorded,
                                     const std::string& target, int count);
  std::string Record(const std::string& disk) const;

  TempDir temp_;
  Drive drive_;
  std::string work_;
  std::string state_;  // XDG_STATE_HOME: the program keeps its journals below
  // False: SLICERY_VOLUME_SIZE is left unset, so the medium's own free space
  // counts.
  bool simulate_volume_size_ = true;
};

// The program ended with status 0 and wrote nothing to standard error.
::testing::AssertionResult Ended(Session& session);
// The file at `path` holds exactly `expected`; a mismatch names the sizes and
// the first differing offset instead of dumping binary bytes.
::testing::AssertionResult Holds(const std::string& path, const std::string& expected);

}  // namespace slicery::e2e
