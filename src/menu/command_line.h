// What the command line asks for: the menu (with the volume given there, if
// any), the usage text, the version, or nothing but a usage hint.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/env.h"

namespace slicery {

// The version that --version prints; the Windows version record says the same.
extern const char kVersionLine[];
// The text that --help prints.
extern const char kUsageText[];

struct CommandLine {
  enum class Action { kRun, kHelp, kVersion, kUsageError };
  Action action = Action::kRun;
  VolumeOverrides volume;               // for kRun
  bool no_verify = false;               // --no-verify: volumes are not read back
  bool no_resume = false;               // --no-resume: a split keeps no journal
  bool check = false;                   // --check: the check of a set, not the menu
  std::optional<std::string> recovery;  // --recovery N as typed, checked by RecoveryDisks
  std::string error;                    // for kUsageError: what is wrong, in a few words
};

// Reads the arguments after the program's name. No arguments: the menu, as
// configured by the environment. A usage error wins over --help and
// --version, which win over running.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// Whether the volumes a split writes are read back: yes, unless --no-verify
// was given or SLICERY_NO_VERIFY (`no_verify_variable`, null when unset) is 1.
bool ReadBackVolumes(const CommandLine& line, const char* no_verify_variable);

// Whether a split keeps a journal, so that one that stops can go on later:
// yes, unless --no-resume was given or SLICERY_NO_RESUME (`no_resume_variable`,
// null when unset) is 1.
bool KeepSplitJournal(const CommandLine& line, const char* no_resume_variable);

// Recovery disks a split adds to its set: N from --recovery N, else from
// SLICERY_RECOVERY (`recovery_variable`, null when unset; empty counts as
// unset), else 0: none. Empty, with the one line for standard error in
// *error, when N is not a number from 1 to 16.
std::optional<int> RecoveryDisks(const CommandLine& line, const char* recovery_variable,
                                 std::string* error);

// The one line on standard error for a usage error.
std::string UsageHint(const std::string& error);

}  // namespace slicery
