// What the command line asks for: the menu (with the volume given there, if
// any), the usage text, the version, or nothing but a usage hint.
#pragma once

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
  VolumeOverrides volume;  // for kRun
  bool no_verify = false;  // --no-verify: volumes are not read back
  std::string error;       // for kUsageError: what is wrong, in a few words
};

// Reads the arguments after the program's name. No arguments: the menu, as
// configured by the environment. A usage error wins over --help and
// --version, which win over running.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// Whether the volumes a split writes are read back: yes, unless --no-verify
// was given or SLICERY_NO_VERIFY (`no_verify_variable`, null when unset) is 1.
bool ReadBackVolumes(const CommandLine& line, const char* no_verify_variable);

// The one line on standard error for a usage error.
std::string UsageHint(const std::string& error);

}  // namespace slicery
